#include "log/debug_log.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quorvel {
namespace {

constexpr std::size_t kTop = LogView::kTopLevel;

struct RecordingView : LogView {
  struct Shown {
    std::size_t line;
    std::size_t parent;
    std::string text;
    bool operator==(const Shown&) const = default;
  };
  void ShowLine(std::size_t line, std::size_t parent, const char* text) override {
    shown.push_back({line, parent, text});
  }
  void RemoveEntries(std::size_t first, std::size_t end) override { removed.emplace_back(first, end); }
  std::vector<Shown> shown;
  std::vector<std::pair<std::size_t, std::size_t>> removed;
};

TEST(DebugLog, GroupsNestAndAnExtraCloseGroupDoesNothing) {
  DebugLog log;
  log.Enable(true);
  log.Line("1");
  log.OpenGroup();
  log.Line("2");
  log.OpenGroup();
  log.Line("3");
  log.CloseGroup();
  log.Line("4");
  log.CloseGroup();
  log.CloseGroup();
  log.Line("5");
  EXPECT_EQ(log.Render(),
            "1\n"
            "  2\n"
            "    3\n"
            "  4\n"
            "5\n");
}

TEST(DebugLog, EachPlacedLineReachesTheViewWithItsNumberAndParent) {
  DebugLog log;
  log.Enable(true);
  RecordingView view;
  log.AttachView(&view);
  log.Line("Fenster");
  log.Line("Server");
  log.Line("EmpfangsEvent");
  log.OpenGroup();
  log.Line("detail");
  log.OpenGroup();
  log.Line("deeper");
  log.CloseGroup();
  log.CloseGroup();
  log.Line("next");
  const std::vector<RecordingView::Shown> expected{
      {0, kTop, "Fenster"}, {1, kTop, "Server"}, {2, kTop, "EmpfangsEvent"},
      {3, 2, "detail"},     {4, 3, "deeper"},    {5, kTop, "next"}};
  EXPECT_EQ(view.shown, expected);
}

TEST(DebugLog, TheTextIsCopiedWhenTheLineIsAdded) {
  DebugLog log;
  log.Enable(true);
  RecordingView view;
  log.AttachView(&view);
  std::uint8_t buffer[] = "Absender 12";
  log.Text(buffer, sizeof buffer);
  buffer[0] = 'X';
  log.Text(nullptr, 0);  // nothing to show, but the line is still placed
  EXPECT_EQ(log.Render(), "Absender 12\n\n");
  ASSERT_EQ(view.shown.size(), 2u);
  EXPECT_EQ(view.shown[1].text, "");
}

TEST(DebugLog, GroupOperationsOnAnEmptyLogChangeNothing) {
  DebugLog log;
  log.Enable(true);
  log.OpenGroup();
  log.CloseGroup();
  EXPECT_TRUE(log.empty());
  log.Line("first");
  log.Line("second");
  EXPECT_EQ(log.Render(), "first\nsecond\n");
}

TEST(DebugLog, TwoCloseGroupsAfterOneOpenGroupLeaveTheNextLineAtTheTop) {
  DebugLog log;
  log.Enable(true);
  log.Line("top");
  log.OpenGroup();
  log.CloseGroup();
  log.CloseGroup();
  log.Line("next");
  EXPECT_EQ(log.Render(), "top\nnext\n");
}

TEST(DebugLog, OpenGroupRightAfterCloseGroupReopensTheClosedGroup) {
  DebugLog log;
  log.Enable(true);
  log.Line("event");
  log.OpenGroup();
  log.Line("inner");
  log.OpenGroup();
  log.Line("detail");
  log.CloseGroup();  // closes "inner"
  log.OpenGroup();   // opens "inner" again, not "detail"
  log.Line("more detail");
  log.CloseGroup();
  log.Line("after inner");
  log.CloseGroup();
  log.Line("next event");
  EXPECT_EQ(log.Render(),
            "event\n"
            "  inner\n"
            "    detail\n"
            "    more detail\n"
            "  after inner\n"
            "next event\n");

  // At the top level too: the last top-level line opens again.
  DebugLog top;
  top.Enable(true);
  top.Line("a");
  top.OpenGroup();
  top.Line("b");
  top.CloseGroup();
  top.OpenGroup();
  top.Line("c");
  EXPECT_EQ(top.Render(), "a\n  b\n  c\n");
}

TEST(DebugLog, OpenGroupMarksTheLastLineOfTheCurrentLevel) {
  // After a group closed, OpenGroup may follow further appends: it marks the
  // line just appended, whatever came before.
  DebugLog log;
  log.Enable(true);
  log.Line("one");
  log.OpenGroup();
  log.Line("one.a");
  log.CloseGroup();
  log.Line("two");
  log.OpenGroup();
  log.Line("two.a");
  log.OpenGroup();
  log.Line("two.a.i");
  log.CloseGroup();
  log.CloseGroup();
  log.Line("three");
  EXPECT_EQ(log.Render(),
            "one\n"
            "  one.a\n"
            "two\n"
            "  two.a\n"
            "    two.a.i\n"
            "three\n");
}

TEST(DebugLog, WithoutAViewTheTreeIsStillKept) {
  DebugLog log;
  log.Enable(true);
  RecordingView view;
  log.Line("before");
  log.OpenGroup();
  log.Line("child");
  log.AttachView(&view);
  log.Line("later child");
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0], (RecordingView::Shown{2, 0, "later child"}));
  EXPECT_EQ(log.Render(), "before\n  child\n  later child\n");
}

TEST(DebugLog, ABoundedLogDropsItsOldestEntriesWholeAndNumbersOn) {
  DebugLog log;
  log.Enable(true);
  RecordingView view;
  log.AttachView(&view);
  log.KeepNewestEntries(2);
  log.Line("one");  // line 0
  log.OpenGroup();
  log.Line("one.a");  // 1
  log.OpenGroup();
  log.Line("one.a.i");  // 2
  log.CloseGroup();
  log.CloseGroup();
  log.Line("two");  // 3
  log.OpenGroup();
  log.Line("two.a");  // 4
  log.CloseGroup();
  EXPECT_TRUE(view.removed.empty());

  log.Line("three");  // 5: "one" goes with all its lines
  log.OpenGroup();
  log.Line("three.a");  // 6
  log.CloseGroup();
  log.OpenGroup();  // reopens "three"
  log.Line("three.b");  // 7
  log.CloseGroup();
  EXPECT_EQ(log.Render(), "two\n  two.a\nthree\n  three.a\n  three.b\n");
  EXPECT_EQ(view.removed, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 3}}));
  EXPECT_EQ(view.shown.back(), (RecordingView::Shown{7, 5, "three.b"}));

  log.Line("four");  // 8: "two" goes
  EXPECT_EQ(view.removed.back(), (std::pair<std::size_t, std::size_t>{3, 5}));
  EXPECT_EQ(log.Render(), "three\n  three.a\n  three.b\nfour\n");

  // A larger log drops a tenth at once, oldest first.
  DebugLog tenths;
  tenths.Enable(true);
  RecordingView tenthsView;
  tenths.AttachView(&tenthsView);
  tenths.KeepNewestEntries(20);
  for (int i = 0; i < 21; ++i) tenths.Line("%d", i);
  EXPECT_EQ(tenthsView.removed, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 3}}));
  EXPECT_EQ(tenths.Render().substr(0, 5), "3\n4\n5");

  // A log that keeps a single entry still groups under it.
  DebugLog single;
  single.Enable(true);
  single.KeepNewestEntries(1);
  single.Line("a");
  single.OpenGroup();
  single.Line("a.1");
  single.CloseGroup();
  single.Line("b");
  single.OpenGroup();
  single.Line("b.1");
  EXPECT_EQ(single.Render(), "b\n  b.1\n");
}

TEST(DebugLog, LinesAreFormattedAsByPrintf) {
  DebugLog log;
  log.Enable(true);
  log.Line("Absender %ld", -4L);
  log.Line("IP: %d.%d.%d.%d", 127, 0, 0, 1);
  log.Line("100%% %s", "sicher");
  EXPECT_EQ(log.Render(), "Absender -4\nIP: 127.0.0.1\n100% sicher\n");
}

TEST(DebugLog, ATextIsShownUpToItsFirstZeroByteAndNoFurtherThanItsLength) {
  struct Case {
    std::string bytes;
    std::int32_t length;
    const char* shown;
  };
  const Case cases[] = {
      {"Hallo", 5, "Hallo"},
      {std::string("ab\0cd", 5), 5, "ab"},
      {"abcdef", 3, "abc"},  // no zero byte within the length: the length ends it
      {std::string("\0x", 2), 2, ""},
      {"abc", 0, ""},
      {"abc", -1, ""},
      {"\xE4\xF6", 2, "\xE4\xF6"},  // any other byte is shown as it is
  };
  for (const Case& c : cases) {
    DebugLog log;
    log.Enable(true);
    log.Text(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.length);
    EXPECT_EQ(log.Render(), std::string(c.shown) + "\n") << c.bytes << " " << c.length;
  }
}

TEST(DebugLog, IsOffUntilEnabledAndOffAgainKeepsWhatItHas) {
  DebugLog log;
  RecordingView view;
  log.AttachView(&view);
  EXPECT_FALSE(log.enabled());
  const std::uint8_t text[] = "text";
  log.Line("line %d", 1);
  log.Text(text, 4);
  log.OpenGroup();
  log.CloseGroup();
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(view.shown.empty());

  log.Enable(true);
  log.Line("kept");
  log.Enable(false);
  log.Line("dropped");
  log.Text(text, 4);
  EXPECT_EQ(log.Render(), "kept\n");
  EXPECT_EQ(view.shown.size(), 1u);
}

}  // namespace
}  // namespace quorvel
