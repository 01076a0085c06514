// The document: project layout, the open sequence with its error messages,
// the start-up project and the framework's open path.
#include "document/document.h"
#include "base/program_directory.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>

#include "audio/audio.h"
#include "base/full_path.h"
#include "base/native_path.h"
#include "base/platform_services.h"
#include "model/archive.h"
#include "model/scene_state.h"
#include "playback/animation.h"
#include "prepare/material_texture.h"
#include "prepare/mesh_preparation.h"

namespace tolvani {

namespace {

// name (empty 8-bit string), auxFlag, entry count.
constexpr size_t kMinTimeLineBytes = 1 + 1 + 4;

// Failing textures of one open that get a message box; the rest are diagnostics.
constexpr int kTextureMessages = 3;

constexpr char16_t kUntitled[] = u"無題";
constexpr char16_t kUntitledFile[] = u"無題のファイル";
constexpr char16_t kBadFormat[] = u"予期しないファイル形式です。";
constexpr char16_t kOpenFailed[] = u"ドキュメントを開くことに失敗しました。";

const char16_t* FileErrorText(FileCause cause) {
  switch (cause) {
    case FileCause::fileNotFound:
      return u"%1 が見つかりませんでした。";
    case FileCause::badPath:
      return u"%1 に正しくないパスが含まれています。";
    case FileCause::tooManyOpenFiles:
      return u"開いているファイルが多すぎるため、%1 を開けませんでした。";
    case FileCause::accessDenied:
      return u"%1 へのアクセスは拒否されました。";
    case FileCause::invalidFile:
      return u"正しくないファイル ハンドルが %1 に関連付けられていました。";
    case FileCause::badSeek:
      return u"%1 のシークに失敗しました。";
    case FileCause::hardIO:
      return u"%1 へのアクセス中にハードウェア I/O エラーが報告されました。";
    case FileCause::sharingViolation:
      return u"%1 へのアクセス中に共有違反が発生しました。";
    case FileCause::lockViolation:
      return u"%1 へのアクセス中にロック違反が発生しました。";
    case FileCause::endOfFile:
      return u"%1 の末尾以降にアクセスしようとしました。";
    default:
      return u"%1 へのアクセス中に不明なエラーが発生しました。";
  }
}

std::u16string ReplaceArg(std::u16string text, const std::u16string& arg) {
  const size_t at = text.find(u"%1");
  if (at != std::u16string::npos) text.replace(at, 2, arg);
  return text;
}

// The last path component.
std::u16string FileTitle(const std::u16string& path) {
  const size_t slash = path.find_last_of(u'/');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

CCoreMotion3D& SceneRoot() {
  EnsureSceneRoot();
  return *SceneState.sceneRoot;
}

}  // namespace

std::u16string LoadErrorMessage(std::exception_ptr error, const std::u16string& path) {
  const std::u16string shownPath = path.empty() ? std::u16string(kUntitledFile) : DisplayPath(path);
  try {
    if (error) std::rethrow_exception(error);
  } catch (const ArchiveError& e) {
    switch (e.cause()) {
      case ArchiveCause::endOfFile:
      case ArchiveCause::badIndex:
      case ArchiveCause::badClass:
      case ArchiveCause::badSchema:
        return kBadFormat;
      default:
        return kOpenFailed;
    }
  } catch (const FileError& e) {
    return ReplaceArg(FileErrorText(e.cause()), shownPath);
  } catch (...) {
    return kOpenFailed;
  }
  return kOpenFailed;
}

bool HasProjectExtension(const std::u16string& path) {
  const size_t dot = path.rfind(u'.');
  if (dot == std::u16string::npos) return false;
  return AsciiLower(std::u16string_view(path).substr(dot + 1)) == u"zvmov";
}

CPlayerDoc::CPlayerDoc() {
  SceneRoot().formatTag = u"zvmov";
}

void CPlayerDoc::Serialize(CArchive& ar) {
  CCoreMotion3D& root = SceneRoot();
  auto& timeLines = SceneState.timeLines;
  if (ar.IsLoading()) {
    const int32_t n = ar.ReadCount(kMinTimeLineBytes);
    timeLines.resize(static_cast<size_t>(n));
    SceneState.fileVersion = ar.ReadFloat();
    root.Serialize(ar, SceneState.fileVersion);
    for (CTimeLine& t : timeLines) t.Serialize(ar);
  } else {
    ar.WriteInt32(static_cast<int32_t>(timeLines.size()));
    ar.WriteFloat(SceneState.fileVersion);
    root.Serialize(ar, SceneState.fileVersion);
    for (CTimeLine& t : timeLines) t.Serialize(ar);
  }
  // The sound block is last; without a sound container it stays unread.
  if (root.formatTag == u"zvmov" && SceneState.audio) SceneState.audio->Serialize(ar);
}

bool CPlayerDoc::OnOpenDocument(const std::u16string& givenPath) {
  if (HasProjectExtension(givenPath)) {
    const std::u16string path = FullPath(givenPath);
    auto report = [this](OpenStage stage) {
      if (onOpenStage) onOpenStage(stage);
    };
    // Done is reported once, before any message box and at the latest on
    // the way out.
    struct Finish {
      std::function<void(OpenStage)> report;
      bool done = false;
      void Now() {
        if (!done) report(OpenStage::Done);
        done = true;
      }
      ~Finish() { Now(); }
    } finish{report};

    // A file that cannot be opened leaves everything as it was.
    std::unique_ptr<InputFile> file;
    try {
      file = std::make_unique<InputFile>(path);
    } catch (...) {
      finish.Now();
      Platform().ShowMessage(LoadErrorMessage(std::current_exception(), path),
                             MessageIcon::Exclamation);
      return false;
    }
    report(OpenStage::Reading);
    ResetScene();
    modified_ = true;
    try {
      if (file->Size() > 0) {
        CArchive ar(*file);
        Serialize(ar);
      }
    } catch (...) {
      // What was read stays, unprepared, and no longer under the old name.
      file.reset();
      ClearPath();
      finish.Now();
      Platform().ShowMessage(LoadErrorMessage(std::current_exception(), path),
                             MessageIcon::Exclamation);
      return false;
    }
    file.reset();
    modified_ = false;

    path_ = path;
    title_ = FileTitle(path);
    if (onPathRecorded) onPathRecorded(path);

    PrepareScene(report);
    SetStartState();
  }
  UpdateAllViews(1);
  return true;
}

void CPlayerDoc::ResetScene() {
  SceneRoot().ResetScene();
  SceneState.timeLines.clear();
  if (SceneState.audio) SceneState.audio->ReleaseVoices();
}

void CPlayerDoc::PrepareScene(const std::function<void(OpenStage)>& progress) {
  CCoreMotion3D& root = SceneRoot();
  // Progress hears of every model and texture, so that a slow preparation
  // is noticed while it runs.
  auto preparing = [&progress] {
    if (progress) progress(OpenStage::Preparing);
  };
  // A model without vertices or faces has no normals to compute (and keeps
  // no per-vertex table: a file may hold millions of such models). The
  // smoothing work is bounded for the file as a whole.
  SmoothingBudget smoothing;
  for (CModel& model : root.models) {
    preparing();
    if (!model.vertices.empty() || !model.faces.empty()) ComputeNormals(model, smoothing);
  }
  for (CModel& model : root.models) {
    preparing();
    BuildMeshGroups(model, root.render.device);
  }
  // Only the first few failing textures of an open get a message box; a
  // file with thousands of them would otherwise lock the user in boxes.
  // The number of textures is bounded per file as well.
  int failed = 0;
  TextureBudget textures;
  for (CMaterial& material : root.materials) {
    if (material.textureName.empty()) continue;
    preparing();
    if (!BuildMaterialTexture(material, root.render.device, failed < kTextureMessages, &textures))
      ++failed;
  }
  if (progress) progress(OpenStage::Sounds);
  if (SceneState.audio) SceneState.audio->PrepareVoices();
}

void CPlayerDoc::SetStartState() {
  CCoreMotion3D& root = SceneRoot();
  root.currentStep = 0;
  root.pickedModel = static_cast<int32_t>(root.models.size()) - 1;
  if (!SceneState.timeLines.empty()) {
    const CTimeLine& first = SceneState.timeLines.front();
    if (first.ShownAt(root.currentStep)) {
      root.camera = first.entries[static_cast<size_t>(root.currentStep)].motion;
    }
  }
  SelectInitialAnimations();
}

bool CPlayerDoc::OnNewDocument() {
  ClearPath();
  modified_ = false;
  OnOpenDocument(ProgramDirectory() + u"Main.zvmov");
  return true;
}

bool CPlayerDoc::OnSaveDocument(const std::u16string&) {
  return true;
}

bool CPlayerDoc::OpenDocumentFile(const std::u16string& path) {
  if (!HasProjectExtension(path)) return false;
  // Only this open's own read failure leads to the fallback.
  modified_ = false;
  if (OnOpenDocument(path)) return true;
  if (modified_) {
    // The read failed part-way: fall back to the start-up project.
    title_ = kUntitled;
    OnNewDocument();
  }
  if (onOpenFailed) onOpenFailed(path);
  return false;
}

std::u16string CPlayerDoc::title() const {
  if (!title_.empty()) return title_;
  if (!path_.empty()) return FileTitle(path_);
  return kUntitled;
}

void CPlayerDoc::AddObserver(IDocumentObserver* observer) {
  if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
    observers_.push_back(observer);
}

void CPlayerDoc::RemoveObserver(IDocumentObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void CPlayerDoc::UpdateAllViews(int hint) {
  const std::vector<IDocumentObserver*> observers = observers_;
  for (IDocumentObserver* o : observers) o->OnUpdate(hint);
}

}  // namespace tolvani
