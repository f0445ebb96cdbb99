// Runs the exact pass on a thread of its own, behind the least-cost pass,
// for inputs taken chunk by chunk: each stretch the least-cost pass has
// settled is handed over as a copy of the window, so the two passes never
// share memory that one of them is changing. Without a thread to be had,
// each stretch is taken at once on the caller's thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "authoring/exact_pass.h"
#include "authoring/parse_window.h"

class ExactPassWorker {
 public:
  explicit ExactPassWorker(ExactPass* exact);
  // Waits for the thread to finish the stretch it is on; the stretches it
  // had not taken yet are left.
  ~ExactPassWorker();
  ExactPassWorker(const ExactPassWorker&) = delete;
  ExactPassWorker& operator=(const ExactPassWorker&) = delete;

  // The exact pass is to run up to `end`, a position of the least-cost path;
  // `window` holds the positions from where it stopped up to end + 281 (or
  // to the end of the input). Waits while two stretches are still to do.
  void Advance(const ParseWindow& window, size_t end);

  // Waits until every stretch handed over is done; rethrows what the thread
  // threw.
  void Finish();

 private:
  struct Stretch {
    ParseWindow window;
    size_t end;
  };

  void Work();
  void Stop();

  ExactPass* exact_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Stretch> waiting_;
  bool working_ = false;  // the thread is taking a stretch
  bool closing_ = false;
  std::exception_ptr failure_;
};
