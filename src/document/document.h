// CPlayerDoc: the single document. It owns no scene data; its open sequence
// fills the process-wide SceneState and prepares the scene.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "playback/document_link.h"

namespace tolvani {

class CArchive;

class CPlayerDoc : public IObservedDocument {
 public:
  CPlayerDoc();  // sets the scene root's formatTag to "zvmov"

  // Reads or writes the whole project layout.
  void Serialize(CArchive& ar);

  // The open sequence: extension test, the file opened, resets, read,
  // messages, path and title, preparation, start state, view notification.
  // The path is made full (absolute, normalised) first. A file that cannot
  // be opened changes nothing (message, false); a failed read leaves what
  // was read, unprepared, under no path and the untitled name (message,
  // false).
  bool OnOpenDocument(const std::u16string& path);
  // Clears the path and the failed-read mark, then opens
  // "<program dir>Main.zvmov".
  bool OnNewDocument();
  // Writes nothing, reports success: the player never writes a project,
  // so it never asks whether to save one.
  bool OnSaveDocument(const std::u16string& path);

  // How far an open has come (onOpenStage, PrepareScene's progress).
  enum class OpenStage { Reading, Preparing, Sounds, Done };

  // Steps of the open sequence, public for the fuzzer, which reads from
  // memory instead of a file and then runs them itself.
  // Resets the scene root (camera, models, materials), clears the timelines
  // and releases the sound voices.
  static void ResetScene();
  // Normals of every model, then mesh groups, then textures, then sound
  // voices (results not looked at). progress, when given, hears Preparing
  // before each model of both model passes and before each texture, and
  // Sounds before the voices.
  static void PrepareScene(const std::function<void(OpenStage)>& progress = {});
  // Step 0, the last model picked, the camera from timeline 0's first entry
  // when it is shown, and each model's animation for step 0.
  static void SetStartState();

  // The framework's open path (recent entry, dropped file): a path of
  // another extension is ignored entirely (false, nothing changes, no
  // failure reported); otherwise it opens, and on a failed read falls back
  // to the start-up project. Returns the open's result.
  bool OpenDocumentFile(const std::u16string& path);

  const std::u16string& path() const { return path_; }
  // The file title of the path, or "無題" when there is none.
  std::u16string title() const;
  // Set while a read is under way and left set when it failed; it marks
  // the fallback of the framework path, never a question.
  bool modified() const { return modified_; }
  void ClearPath() {
    path_.clear();
    title_.clear();
  }

  void AddObserver(IDocumentObserver* observer) override;
  void RemoveObserver(IDocumentObserver* observer) override;
  void UpdateAllViews(int hint);

  // Called with each path recorded after a successful read (the recent-file list).
  std::function<void(const std::u16string& path)> onPathRecorded;
  // Called with the path as given when a framework open fails (the
  // recent-file list removes the entry).
  std::function<void(const std::u16string& path)> onOpenFailed;
  // Called as an open moves on: Reading once the file is open, Preparing,
  // Sounds, then Done at every end of an open that got past the extension
  // test (the window's busy feedback).
  std::function<void(OpenStage stage)> onOpenStage;

 private:
  std::u16string path_;
  std::u16string title_;
  bool modified_ = false;
  std::vector<IDocumentObserver*> observers_;
};

// The message-box text for an exception caught during a load (the path
// fills %1; empty path: "無題のファイル").
std::u16string LoadErrorMessage(std::exception_ptr error, const std::u16string& path);

// The extension test: characters after the last '.', compared with "zvmov"
// ignoring A-Z case.
bool HasProjectExtension(const std::u16string& path);

}  // namespace tolvani
