#pragma once

namespace strixc::archive {

// What the database needs of its attached recorder. Both calls are made with the database lock
// held, so they must not take the recorder's lock or call back into the database: they only set
// the recorder's atomic flags (stopped; state to be reloaded before the next write).
class ArchiveRecorderLink {
 public:
  virtual ~ArchiveRecorderLink() = default;
  // After every successful open: writing may go on, reading the file state back first.
  virtual void Start() = 0;
  // When the database closes.
  virtual void Stop() = 0;
};

}  // namespace strixc::archive
