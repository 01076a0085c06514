// The folder `tolvani web` writes: the web build of the player (its page,
// glue, .js and .wasm with the shader inside) and one cartoon, ready for
// any static web server.
#pragma once

#include <string>
#include <vector>

namespace tolvani::cli {

// The files a web build must hold; every other regular, non-hidden file at
// its top level is copied too (what later pages add).
extern const char* const kWebBuildFiles[4];
// Written into every exported folder; it lists the files the export wrote,
// so that a later export may replace them without --force.
extern const char kExportMarker[];

// Where to look for the web build, in order: $TOLVANI_WEB_DIR alone when it
// is set; else web/ in the program directory (/usr/lib/tolvani/web/ when
// installed), then the build tree's wasm output named at configure time.
std::vector<std::string> WebBuildCandidates();
// The first candidate holding every kWebBuildFiles entry, or "" with *why
// saying where the build was looked for.
std::string FindWebBuild(std::string* why);

// What may happen to an existing destination.
enum class Destination {
  kMissing,    // made by the export (its parents too)
  kEmpty,      // an empty folder
  kOurs,       // an earlier export's folder (holds kExportMarker)
  kOccupied,   // anything else in it: needs --force
  kNotFolder,  // a file or something else: never written
};
Destination ClassifyDestination(const std::string& dir);

// Writes webBuild's files and the cartoon (under its own file name) into
// dir, each under a temporary name renamed into place, then the marker. A
// missing dir is built beside its final place and renamed at the end, so
// that a failed export leaves no folder. Files an earlier export listed and
// this one does not write are removed. False with *why on failure.
bool WriteExport(const std::string& webBuild, const std::string& cartoon, const std::string& dir,
                 Destination destination, std::string* why);

// The one-line snippet that embeds the export served as the folder
// `<dir's last name>/` beside the embedding page: an <iframe> of 640 x 480
// CSS pixels, full screen allowed, the names percent-encoded and the title
// HTML-escaped.
std::string IframeSnippet(const std::string& dir, const std::string& cartoon);

}  // namespace tolvani::cli
