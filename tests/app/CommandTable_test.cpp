// The command table is what every front end builds on: a row missing, two
// rows for one id or a typed command without its row would show as a menu
// item that does nothing or a toolbar that cannot be built.

#include "app/CommandTable.h"

#include <set>

#include <gtest/gtest.h>

namespace {
bool isFrameworkCommand(int id) { return id >= cmd::kFileNew; }
}  // namespace

TEST(CommandTable, RowsAreInIdOrderAndFoundByTheirId) {
  int previous = 0;
  for (const CommandRow& row : commandTable()) {
    SCOPED_TRACE(row.id);
    EXPECT_GT(row.id, previous);
    previous = row.id;
    EXPECT_EQ(findCommand(row.id), &row);
    EXPECT_NE(row.run, nullptr);
    EXPECT_NE(row.state, nullptr);
    EXPECT_FALSE(toolTip(row).empty()) << "the prompt holds the status line, NewLine, the tool tip";
  }
  EXPECT_EQ(findCommand(32770), nullptr);
  EXPECT_EQ(findCommand(32847), nullptr);
}

TEST(CommandTable, EveryToolbarButtonHasARowAndItsToolbar) {
  for (Toolbar bar : {Toolbar::Standard, Toolbar::Display, Toolbar::Rendering, Toolbar::Decoration, Toolbar::Layer}) {
    SCOPED_TRACE(toolbarName(bar));
    for (int id : toolbarButtons(bar)) {
      if (id == cmd::kSeparator || isFrameworkCommand(id)) continue;
      const CommandRow* row = findCommand(id);
      ASSERT_NE(row, nullptr) << id;
      EXPECT_EQ(row->toolbar, bar) << id;
    }
  }
}

TEST(CommandTable, AcceleratorLettersAreUniqueAndTypedCommandsHaveRows) {
  std::set<char> letters;
  for (const CommandRow& row : commandTable()) {
    if (!row.accelerator || row.accelerator[1] != '\0') continue;
    EXPECT_TRUE(letters.insert(row.accelerator[0]).second) << row.accelerator;
    EXPECT_EQ(findAccelerator(row.accelerator[0]), &row);
  }
  // The one-letter accelerators of the menus, and nothing else.
  EXPECT_EQ(letters, (std::set<char>{'a', 'd', 'f', 'g', 'j', 'k', 'l', 'm', 'n', 'p', 'r', 's', 'v', 'z'}));
  EXPECT_EQ(findAccelerator('b'), nullptr);
  EXPECT_EQ(findAccelerator('Z'), nullptr);

  std::set<std::string> typed;
  for (const TypedCommand& t : typedCommands()) {
    EXPECT_TRUE(typed.insert(t.letters).second) << t.letters;
    EXPECT_NE(findCommand(t.commandId), nullptr) << t.letters;
  }
  EXPECT_EQ(typed.size(), 18u);
}
