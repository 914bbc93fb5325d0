// A file appended to for a long time: a torn last line is ended before new records, and a record
// that a full disk refuses leaves no part of itself, is told once, and is followed by the owner's
// record of what was skipped once writing resumes by itself.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "storage/append_file.h"
#include "support/fakes/memory_file_store.h"
#include "support/frames.h"

namespace {

using Lines = std::vector<std::string>;

std::string Text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(AppendFileTest, ATornLineIsEndedAndARefusedRecordLeavesNoPartBehind) {
  MemoryFileStore store("/d");
  store.PutFile("torn.jsonl", {'{', '}', '\n', '{', '"'});
  store.PutFile("whole.jsonl", {'{', '}', '\n'});
  for (const auto& [name, after] :
       {std::pair<const char*, const char*>{"torn.jsonl", "{}\n{\"\n"}, {"whole.jsonl", "{}\n"}}) {
    AppendFile file;
    AppendFile::Options options;
    options.lines = true;
    ASSERT_TRUE(file.Open(&store, name, options));
    EXPECT_TRUE(file.Append(std::string("{}\n")));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(Text(store.Bytes(name)), std::string(after) + "{}\n") << name;
  }

  Lines told;
  AppendFile file;
  AppendFile::Options options;
  options.report = [&told](const std::string& text) { told.push_back(text); };
  options.steady_ms = 0;
  options.gap = [](const AppendFile::Skipped& s) {
    return "skipped " + std::to_string(s.records) + "\n";
  };
  ASSERT_TRUE(file.Open(&store, "rows.csv", options));
  store.FailWritesAfter(3);
  EXPECT_FALSE(file.Append(std::string("12345\n")));
  EXPECT_EQ(Text(store.Bytes("rows.csv")), "") << "the part written is cut off again";
  EXPECT_FALSE(file.Append(std::string("6\n")));
  EXPECT_EQ(told.size(), 1u);
  store.FailWritesAfter(-1);
  EXPECT_TRUE(file.Append(std::string("7\n")));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(Text(store.Bytes("rows.csv")), "skipped 2\n7\n");
  EXPECT_EQ(told, Lines({"rows.csv: cannot be written: No space left on device; the monitor "
                         "goes on, and writing resumes by itself once there is room",
                         "rows.csv: written again; 2 records (8 bytes) could not be written "
                         "since it failed"}));
}

}  // namespace
