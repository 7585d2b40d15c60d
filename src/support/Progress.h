// How long work reports its progress: extraction and downloads step a bar
// they know nothing about.
#pragma once

class ProgressSink {
 public:
  // kind 0 sets the range 0..high, the position and the step (low has no
  // effect); kind 1 steps once and ignores the other arguments.
  virtual void Progress(int kind, int low, int high, int position, int step) = 0;

 protected:
  ~ProgressSink() = default;
};
