#include "audio/openal/library_pin.h"

#include <AL/alc.h>
#include <dlfcn.h>

#include "base/platform_services.h"
#include "model/archive.h"

namespace tolvani {

namespace {

void Send(const std::u16string& text) {
  Platform().Diagnostic("audio", text);
}

}  // namespace

Xaudio2DllUnloadWorkaround_LoadLibraryVersion::Xaudio2DllUnloadWorkaround_LoadLibraryVersion() {
  Send(u"<<Created>>\n");
}

Xaudio2DllUnloadWorkaround_LoadLibraryVersion::~Xaudio2DllUnloadWorkaround_LoadLibraryVersion() {
  if (handle_) {
    Send(dlclose(handle_) == 0 ? u"Free SUCCEEDED\n" : u"FAILED: Free\n");
    handle_ = nullptr;
  }
  Send(u"<<Destroyed>>\n");
  path_.clear();
}

const void* Xaudio2DllUnloadWorkaround_LoadLibraryVersion::AudioLibrarySymbol() {
  return reinterpret_cast<const void*>(&alcOpenDevice);
}

bool Xaudio2DllUnloadWorkaround_LoadLibraryVersion::FindPathByClsid(const void* symbol) {
  Dl_info info{};
  if (!symbol || dladdr(symbol, &info) == 0) {
    Send(u"XAudio2 DLL: find by CLSID: FAILED: GetLastError()\n");
    return false;
  }
  if (!info.dli_fname) {
    Send(u"XAudio2 DLL: path retrieval: FAILED: GetLastError()\n");
    return false;
  }
  path_ = info.dli_fname;
  Send(u"XAudio2 DLL: path found\n");
  return true;
}

void Xaudio2DllUnloadWorkaround_LoadLibraryVersion::LoadByPath() {
  Send(FromUtf8(path_));
  Send(u"\n");
  if (handle_) dlclose(handle_);  // a second load replaces the first
  handle_ = dlopen(path_.c_str(), RTLD_NOW);
  Send(handle_ ? u"Load SUCCEEDED\n" : u"FAILED: Load\n");
}

}  // namespace tolvani
