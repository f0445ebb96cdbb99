#include "tools/updpack/commands/progress_bar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr auto kQuietStart = std::chrono::milliseconds(300);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

int TerminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 40) return size.ws_col;
  return 80;
}

// Cuts a UTF-8 text to at most `columns` characters (counting each as one).
std::string Cut(const std::string& text, int columns) {
  std::string out;
  int used = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80 && used++ == columns) break;
    out += text[i];
  }
  return out;
}

}  // namespace

ProgressBar::ProgressBar(uint64_t total)
    : total_(total),
      terminal_(isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() {
  if (drawn_) std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
}

void ProgressBar::Update(uint64_t done, const std::string& label) {
  if (!terminal_ || total_ == 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - start_ < kQuietStart || (drawn_ && now - lastDrawn_ < kRedrawEvery)) return;
  lastDrawn_ = now;
  drawn_ = true;
  const int width = 24;
  const int filled = int(double(done) / double(total_) * width);
  std::string bar(size_t(filled), '#');
  bar.resize(width, '.');
  char figures[96];
  std::snprintf(figures, sizeof figures, "[%s] %3d%% %.1f/%.1f MB ", bar.c_str(),
                int(100.0 * double(done) / double(total_)), double(done) / 1e6,
                double(total_) / 1e6);
  const int room = TerminalWidth() - 1 - int(std::string(figures).size());
  std::fprintf(stderr, "\r%s%s\033[K", figures, Cut(label, room > 0 ? room : 0).c_str());
  std::fflush(stderr);
}
