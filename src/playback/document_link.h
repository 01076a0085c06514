// How the view hears about the document above it: the open sequence lives in
// a higher layer, so the view sees the document only through this interface.
#pragma once

namespace tolvani {

// Implemented by the view: told after an open (hint 1) or another update.
class IDocumentObserver {
 public:
  virtual ~IDocumentObserver() = default;
  virtual void OnUpdate(int hint) = 0;
};

// Implemented by the document: keeps the observers it tells.
class IObservedDocument {
 public:
  virtual ~IObservedDocument() = default;
  virtual void AddObserver(IDocumentObserver* observer) = 0;
  virtual void RemoveObserver(IDocumentObserver* observer) = 0;
};

}  // namespace tolvani
