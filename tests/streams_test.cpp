#include "streams.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace starmark {
namespace {

std::string file_text(std::FILE* file) {
  std::string text(4096, '\0');
  text.resize(::pread(fileno(file), text.data(), text.size(), 0));
  return text;
}

// Lines reach the file a whole block at a time, a line that crosses a block's
// end split between two blocks, and the rest when the stream is flushed.
TEST(OutputStream, WritesWholeBlocksAndSplitsLinesAcrossThem) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  OutputStream output(fileno(file), 8, OutputStream::Buffering::kFull);
  ASSERT_TRUE(output.write_line("abcde\n", "write").ok());
  EXPECT_EQ(file_text(file), "");
  ASSERT_TRUE(output.write_line("fghijklmnopqrstuvw\n", "write").ok());
  EXPECT_EQ(file_text(file), "abcde\nfghijklmnopqrstuvw");
  ASSERT_TRUE(output.write_line("x\n", "write").ok());
  ASSERT_TRUE(output.flush("close").ok());
  EXPECT_EQ(file_text(file), "abcde\nfghijklmnopqrstuvw\nx\n");
  std::fclose(file);
}

// Every byte once, then the end of the file, which stays.
TEST(InputStream, EndsAfterTheLastByte) {
  InputStream input = InputStream::from_text("ab");
  EXPECT_EQ(input.get(), 'a');
  EXPECT_EQ(input.peek(), 'b');
  EXPECT_EQ(input.get(), 'b');
  EXPECT_EQ(input.get(), InputStream::kEndOfFile);
  EXPECT_EQ(input.peek(), InputStream::kEndOfFile);
}

}  // namespace
}  // namespace starmark
