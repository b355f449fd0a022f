// Rehearsal: the show played from a source folder, every file it loaded
// watched, and a changed file reloaded at the current show time without a
// restart. Errors never end a rehearsal: the last good version stays in use
// and the error is listed until the file is fixed. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One current problem of a watched file, as vesper-check words it.
struct RehearsalError {
  std::string file;  // the file on disk (or the pack entry for a core file)
  int line = 0;      // 0: no line
  std::string reason;
  // "FILE:LINE: reason", or "FILE: reason" without a line.
  std::string text() const;
};

// The last reload that ran, whether or not it succeeded.
struct RehearsalReload {
  std::string file;       // the changed file on disk
  uint32_t showTimeMs = 0;  // the music time it was reloaded at
  double milliseconds = 0.0;  // from noticing the change to the resource in place
  bool ok = false;        // false: the last good version stayed in use
};

// What the overlay shows. `revision` grows with every change of the rest,
// so a view can redraw only when it differs from the one it drew.
struct RehearsalState {
  bool active = false;  // a rehearsal is running
  uint64_t revision = 0;
  bool hasReload = false;  // lastReload holds a reload
  RehearsalReload lastReload;
  std::vector<RehearsalError> errors;  // current errors, oldest first
};

// The state of the running rehearsal (inactive, empty outside one).
const RehearsalState& rehearsalState();

// Starts watching what the show loaded from the source folder `sourceDir`;
// false, with `reason`, when the watcher cannot start. Call after the show is
// initialised; `pollRehearsal` then runs once a frame.
bool startRehearsal(const std::string& sourceDir, std::string& reason);
// Applies the changes seen since the last call (reloads, errors); cheap when
// nothing changed.
void pollRehearsal();
// One frame of a rehearsal: pollRehearsal, then `frame`. A critical error
// in either is listed (under the file it names) instead of ending the
// process, and the frame counts as run; the show tries again on the next
// one, and the error clears once a frame runs through. Returns frame()'s
// answer otherwise.
bool rehearsalFrame(const std::function<bool()>& frame);
// Waits up to `timeoutMs` for a watched file to change; true when a change
// is pending for the next pollRehearsal. For tests and benchmarks that edit
// files and must wait on the change, not on time.
bool waitForRehearsalChange(int timeoutMs);
// Stops watching and clears the state.
void stopRehearsal();
