// Keeps the audio library loaded once more by the program's own hand, from
// start-up until after the sound engine has been released at exit, so that it
// cannot be unloaded under the engine.
//
// FindPathByClsid finds the file path of the loaded library that holds a given
// symbol (dladdr; the player passes alcOpenDevice). LoadByPath dlopens that
// path (RTLD_NOW); destruction dlcloses it. Every step sends its diagnostic to
// Platform().Diagnostic("audio", ...), with the engine's historical texts:
//   construction        "<<Created>>\n"
//   lookup              "XAudio2 DLL: find by CLSID: FAILED: GetLastError()\n" (symbol in
//                       no loaded object), "XAudio2 DLL: path retrieval: FAILED:
//                       GetLastError()\n" (object without a file name), or
//                       "XAudio2 DLL: path found\n"
//   load                the path, "\n", then "Load SUCCEEDED\n" or "FAILED: Load\n"
//   destruction         "Free SUCCEEDED\n" or "FAILED: Free\n" when loaded, then
//                       "<<Destroyed>>\n"
#pragma once

#include <string>

namespace tolvani {

class Xaudio2DllUnloadWorkaround_LoadLibraryVersion {
 public:
  Xaudio2DllUnloadWorkaround_LoadLibraryVersion();
  virtual ~Xaudio2DllUnloadWorkaround_LoadLibraryVersion();
  Xaudio2DllUnloadWorkaround_LoadLibraryVersion(
      const Xaudio2DllUnloadWorkaround_LoadLibraryVersion&) = delete;
  Xaudio2DllUnloadWorkaround_LoadLibraryVersion& operator=(
      const Xaudio2DllUnloadWorkaround_LoadLibraryVersion&) = delete;

  // The OpenAL entry point the player passes to FindPathByClsid.
  static const void* AudioLibrarySymbol();

  // Finds the path of the loaded object that holds `symbol`. True when found.
  bool FindPathByClsid(const void* symbol);
  // Loads the found path once more and keeps the handle (empty on failure).
  void LoadByPath();

  const std::string& path() const { return path_; }
  bool loaded() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
  std::string path_;  // as the loader reports it (bytes of the file system)
};

}  // namespace tolvani
