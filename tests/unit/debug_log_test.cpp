#include "log/debug_log.h"

#include <gtest/gtest.h>

#include <cstddef>
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
  log.AppendLine("1");
  log.OpenGroup();
  log.AppendLine("2");
  log.OpenGroup();
  log.AppendLine("3");
  log.CloseGroup();
  log.AppendLine("4");
  log.CloseGroup();
  log.CloseGroup();
  log.AppendLine("5");
  EXPECT_EQ(log.Render(),
            "1\n"
            "  2\n"
            "    3\n"
            "  4\n"
            "5\n");
}

TEST(DebugLog, EachPlacedLineReachesTheViewWithItsNumberAndParent) {
  DebugLog log;
  RecordingView view;
  log.AttachView(&view);
  log.AppendLine("Fenster");
  log.AppendLine("Server");
  log.AppendLine("EmpfangsEvent");
  log.OpenGroup();
  log.AppendLine("detail");
  log.OpenGroup();
  log.AppendLine("deeper");
  log.CloseGroup();
  log.CloseGroup();
  log.AppendLine("next");
  const std::vector<RecordingView::Shown> expected{
      {0, kTop, "Fenster"}, {1, kTop, "Server"}, {2, kTop, "EmpfangsEvent"},
      {3, 2, "detail"},     {4, 3, "deeper"},    {5, kTop, "next"}};
  EXPECT_EQ(view.shown, expected);
}

TEST(DebugLog, TheTextIsCopiedWhenTheLineIsAdded) {
  DebugLog log;
  RecordingView view;
  log.AttachView(&view);
  char buffer[] = "Absender 12";
  log.AppendLine(buffer);
  buffer[0] = 'X';
  log.AppendLine(nullptr);  // nothing to show, but the line is still placed
  EXPECT_EQ(log.Render(), "Absender 12\n\n");
  ASSERT_EQ(view.shown.size(), 2u);
  EXPECT_EQ(view.shown[1].text, "");
}

TEST(DebugLog, GroupOperationsOnAnEmptyLogChangeNothing) {
  DebugLog log;
  log.OpenGroup();
  log.CloseGroup();
  EXPECT_TRUE(log.empty());
  log.AppendLine("first");
  log.AppendLine("second");
  EXPECT_EQ(log.Render(), "first\nsecond\n");
}

TEST(DebugLog, TwoCloseGroupsAfterOneOpenGroupLeaveTheNextLineAtTheTop) {
  DebugLog log;
  log.AppendLine("top");
  log.OpenGroup();
  log.CloseGroup();
  log.CloseGroup();
  log.AppendLine("next");
  EXPECT_EQ(log.Render(), "top\nnext\n");
}

TEST(DebugLog, OpenGroupRightAfterCloseGroupReopensTheClosedGroup) {
  DebugLog log;
  log.AppendLine("event");
  log.OpenGroup();
  log.AppendLine("inner");
  log.OpenGroup();
  log.AppendLine("detail");
  log.CloseGroup();  // closes "inner"
  log.OpenGroup();   // opens "inner" again, not "detail"
  log.AppendLine("more detail");
  log.CloseGroup();
  log.AppendLine("after inner");
  log.CloseGroup();
  log.AppendLine("next event");
  EXPECT_EQ(log.Render(),
            "event\n"
            "  inner\n"
            "    detail\n"
            "    more detail\n"
            "  after inner\n"
            "next event\n");

  // At the top level too: the last top-level line opens again.
  DebugLog top;
  top.AppendLine("a");
  top.OpenGroup();
  top.AppendLine("b");
  top.CloseGroup();
  top.OpenGroup();
  top.AppendLine("c");
  EXPECT_EQ(top.Render(), "a\n  b\n  c\n");
}

TEST(DebugLog, OpenGroupMarksTheLastLineOfTheCurrentLevel) {
  // After a group closed, OpenGroup may follow further appends: it marks the
  // line just appended, whatever came before.
  DebugLog log;
  log.AppendLine("one");
  log.OpenGroup();
  log.AppendLine("one.a");
  log.CloseGroup();
  log.AppendLine("two");
  log.OpenGroup();
  log.AppendLine("two.a");
  log.OpenGroup();
  log.AppendLine("two.a.i");
  log.CloseGroup();
  log.CloseGroup();
  log.AppendLine("three");
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
  RecordingView view;
  log.AppendLine("before");
  log.OpenGroup();
  log.AppendLine("child");
  log.AttachView(&view);
  log.AppendLine("later child");
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0], (RecordingView::Shown{2, 0, "later child"}));
  EXPECT_EQ(log.Render(), "before\n  child\n  later child\n");
}

TEST(DebugLog, ABoundedLogDropsItsOldestEntriesWholeAndNumbersOn) {
  DebugLog log;
  RecordingView view;
  log.AttachView(&view);
  log.KeepNewestEntries(2);
  log.AppendLine("one");  // line 0
  log.OpenGroup();
  log.AppendLine("one.a");  // 1
  log.OpenGroup();
  log.AppendLine("one.a.i");  // 2
  log.CloseGroup();
  log.CloseGroup();
  log.AppendLine("two");  // 3
  log.OpenGroup();
  log.AppendLine("two.a");  // 4
  log.CloseGroup();
  EXPECT_TRUE(view.removed.empty());

  log.AppendLine("three");  // 5: "one" goes with all its lines
  log.OpenGroup();
  log.AppendLine("three.a");  // 6
  log.CloseGroup();
  log.OpenGroup();  // reopens "three"
  log.AppendLine("three.b");  // 7
  log.CloseGroup();
  EXPECT_EQ(log.Render(), "two\n  two.a\nthree\n  three.a\n  three.b\n");
  EXPECT_EQ(view.removed, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 3}}));
  EXPECT_EQ(view.shown.back(), (RecordingView::Shown{7, 5, "three.b"}));

  log.AppendLine("four");  // 8: "two" goes
  EXPECT_EQ(view.removed.back(), (std::pair<std::size_t, std::size_t>{3, 5}));
  EXPECT_EQ(log.Render(), "three\n  three.a\n  three.b\nfour\n");

  // A larger log drops a tenth at once, oldest first.
  DebugLog tenths;
  RecordingView tenthsView;
  tenths.AttachView(&tenthsView);
  tenths.KeepNewestEntries(20);
  for (int i = 0; i < 21; ++i) tenths.AppendLine(std::to_string(i).c_str());
  EXPECT_EQ(tenthsView.removed, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 3}}));
  EXPECT_EQ(tenths.Render().substr(0, 5), "3\n4\n5");

  // A log that keeps a single entry still groups under it.
  DebugLog single;
  single.KeepNewestEntries(1);
  single.AppendLine("a");
  single.OpenGroup();
  single.AppendLine("a.1");
  single.CloseGroup();
  single.AppendLine("b");
  single.OpenGroup();
  single.AppendLine("b.1");
  EXPECT_EQ(single.Render(), "b\n  b.1\n");
}

}  // namespace
}  // namespace quorvel
