#include "streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

namespace starmark {
namespace {

std::string file_text(int fd) {
  std::string text(4096, '\0');
  text.resize(static_cast<size_t>(::pread(fd, text.data(), text.size(), 0)));
  return text;
}

// A file in memory holding `text`, closed with the test's process.
int file_holding(const std::string& text) {
  const int fd = memfd_create("file", MFD_CLOEXEC);
  EXPECT_EQ(::pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  return fd;
}

// Lines reach the file a whole block at a time, a line that crosses a block's
// end split between two blocks, and the rest when the stream is flushed.
TEST(OutputStream, WritesWholeBlocksAndSplitsLinesAcrossThem) {
  const int file = file_holding("");
  OutputStream output(file, 8, OutputStream::Buffering::kFull);
  ASSERT_TRUE(output.write_line("abcde\n", "write").ok());
  EXPECT_EQ(file_text(file), "");
  ASSERT_TRUE(output.write_line("fghijklmnopqrstuvw\n", "write").ok());
  EXPECT_EQ(file_text(file), "abcde\nfghijklmnopqrstuvw");
  ASSERT_TRUE(output.write_line("x\n", "write").ok());
  // A line that ends right at the block's end goes out with it.
  ASSERT_TRUE(output.write_line("abcd\n", "write").ok());
  EXPECT_EQ(file_text(file), "abcde\nfghijklmnopqrstuvw\nx\nabcd\n");
}

// A file that a stream replaces keeps what it held until the first block
// goes out, and then holds whole lines of the stream only; a flush with
// nothing written leaves it alone.
TEST(OutputStream, ReplacesTheFileAtItsFirstWriteWithWholeLines) {
  const int file = file_holding("an earlier run's longer output\n");
  OutputStream output(file, 8, OutputStream::Buffering::kWholeLines, true);
  ASSERT_TRUE(output.flush("close").ok());
  // A line that fills the block to its end waits for the next.
  ASSERT_TRUE(output.write_line("ab\n", "write").ok());
  ASSERT_TRUE(output.write_line("cdef\n", "write").ok());
  EXPECT_EQ(file_text(file), "an earlier run's longer output\n");
  ASSERT_TRUE(output.write_line("g\n", "write").ok());
  EXPECT_EQ(file_text(file), "ab\ncdef\n");
  // A line longer than a block follows the lines before it at once.
  ASSERT_TRUE(output.write_line("0123456789\n", "write").ok());
  EXPECT_EQ(file_text(file), "ab\ncdef\ng\n0123456789\n");
}

OutputStream* g_stream_of_handler = nullptr;

extern "C" void flush_and_end(int) {
  g_stream_of_handler->flush_from_signal();
  _exit(0);
}

// A line that crosses a block's end: a signal whose handler flushes the
// stream arrives while the block is being written. The rest of the line is
// buffered before the handler runs, so the line reaches the pipe whole.
TEST(OutputStream, LineCrossingABlockSurvivesASignalDuringTheBlock) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const int capacity = fcntl(ends[1], F_SETPIPE_SZ, 4096);
  ASSERT_GT(capacity, 0);
  const std::string line = std::string(99, 'a') + "\n";
  const size_t block = 2 * static_cast<size_t>(capacity);
  const size_t lines = block / line.size() + 1;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ends[0]);
    OutputStream output(ends[1], block, OutputStream::Buffering::kFull);
    g_stream_of_handler = &output;
    std::signal(SIGTERM, flush_and_end);
    for (size_t k = 0; k < lines; ++k) (void)output.write_line(line, "write");
    _exit(1);
  }
  close(ends[1]);
  // The block fills the pipe, and its write waits for the rest to be read:
  // the signal comes while the block is half written.
  int unread = 0;
  for (int wait = 0; wait < 10000 && unread < capacity; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(ioctl(ends[0], FIONREAD, &unread), 0);
  }
  ASSERT_EQ(unread, capacity);
  kill(child, SIGTERM);
  std::string received;
  char bytes[4096];
  for (ssize_t got; (got = read(ends[0], bytes, sizeof bytes)) > 0;) {
    received.append(bytes, static_cast<size_t>(got));
  }
  close(ends[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(received.size(), lines * line.size());
  EXPECT_EQ(received.back(), '\n');
}

}  // namespace
}  // namespace starmark
