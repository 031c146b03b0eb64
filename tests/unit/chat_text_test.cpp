// The chat's texts: Unicode to Windows-1252 without substitution, and the
// rows of its conversation box.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "conversation_line.h"
#include "windows_1252.h"

namespace chat {
namespace {

TEST(Windows1252Test, EveryByteComesBackAsItself) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  const std::u16string text = FromWindows1252(all);
  EXPECT_EQ(text[0x80], u'\u20AC');
  EXPECT_EQ(text[0x81], u'\u0081');  // undefined in the code page: as Windows maps it
  EXPECT_EQ(text[0x9F], u'\u0178');
  EXPECT_EQ(text[0xE4], u'\u00E4');
  const Encoded1252 back = ToWindows1252(text);
  EXPECT_TRUE(back.unrepresentable.empty());
  EXPECT_EQ(back.bytes, all);
}

TEST(Windows1252Test, CharactersTheCodePageLacksAreNamedOnceInOrderAndNothingIsSubstituted) {
  struct Case {
    std::u16string text;
    std::vector<char32_t> refused;
  };
  const Case cases[] = {
      {u"\u20AC \u2713 \u03A9\u03BC\u03AD\u03B3\u03B1 \u6C49\u5B57",
       {0x2713, 0x03A9, 0x03BC, 0x03AD, 0x03B3, 0x03B1, 0x6C49, 0x5B57}},
      {u"\u03A9 und \u03A9", {0x03A9}},
      {u"\U0001F600 ok", {0x1F600}},          // a surrogate pair is one character
      {u"a\xD800z", {0xD800}},               // a lone surrogate is refused as itself
      {u"\u0080 \u2126 \u00B5\u03BC", {0x0080, 0x2126, 0x03BC}},  // no best fit: not to U+00B5 or O
  };
  for (const Case& c : cases) {
    const Encoded1252 encoded = ToWindows1252(c.text);
    EXPECT_EQ(encoded.unrepresentable, c.refused);
    EXPECT_EQ(encoded.bytes, "");
  }
  EXPECT_EQ(CodePointName(0x3A9), "U+03A9");
  EXPECT_EQ(CodePointName(0x1F600), "U+1F600");
}

std::vector<std::string> Rows(const std::string& line) {
  std::vector<std::string> rows;
  std::istringstream in(line);
  for (std::string row; std::getline(in, row);) {
    EXPECT_EQ(row.back(), '\r') << "every row ends in CR LF";
    row.pop_back();
    rows.push_back(row);
  }
  return rows;
}

TEST(ConversationLineTest, LongRowsAreBrokenAfterABlankElseAtTheLimitAndNothingIsLost) {
  const std::string word(450, 'x');
  const auto unbroken = Rows(ConversationLine("Ich: ", word.data(), word.size()));
  ASSERT_EQ(unbroken.size(), 3U);
  EXPECT_EQ(unbroken[0], "Ich: " + std::string(kLongestRow - 5, 'x'));
  EXPECT_EQ(unbroken[0].size() + unbroken[1].size() + unbroken[2].size(), 455U);

  std::string words;
  while (words.size() < 1000) words += "Quorvel ";
  const auto broken = Rows(ConversationLine("", words.data(), words.size()));
  std::string joined;
  for (const std::string& row : broken) {
    EXPECT_LE(row.size(), kLongestRow);
    EXPECT_TRUE(row.empty() || row.back() == ' ' || &row == &broken.back()) << row;  // no word is split
    joined += row;
  }
  EXPECT_EQ(joined, words);
}

TEST(ConversationLineTest, LineBreaksBecomeCrLfAndOtherControlBytesBlanks) {
  const std::string text("a\r\nb\nc\rd\0e\x01" "f\tg", 14);
  EXPECT_EQ(ConversationLine("P: ", text.data(), text.size()), "P: a\r\nb\r\ncd e f\tg\r\n");
}

}  // namespace
}  // namespace chat
