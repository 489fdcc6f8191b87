// The main window's command table: each command once, every layout entry a
// command of the table, every command placed, submenus closed, and every
// label and tip key in every shipped language file.
#include "app/ini_file.h"
#include "frame/command_table.h"
#include "ui/command_ids.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

namespace qn {
namespace {

namespace fs = std::filesystem;

std::vector<int> allLayoutEntries() {
    std::vector<int> out;
    for (const MenuLayout& menu : menuLayout())
        out.insert(out.end(), menu.items.begin(), menu.items.end());
    out.insert(out.end(), mainToolLayout().begin(), mainToolLayout().end());
    out.insert(out.end(), navigationToolLayout().begin(), navigationToolLayout().end());
    return out;
}

TEST(CommandTable, EachCommandOnceAndEveryCommandPlaced) {
    std::set<int> ids;
    for (const CommandRow& row : commandRows()) {
        EXPECT_TRUE(ids.insert(row.id).second) << "id " << row.id << " twice";
        EXPECT_GT(row.id, 0) << "ids 0 and below mark separators and submenu ends";
        EXPECT_TRUE(row.label || row.bitmap) << "id " << row.id << " is neither item nor tool";
        if (row.bitmap) {
            EXPECT_TRUE(row.toolLabel && row.tip) << "tool " << row.id;
        }
    }
    std::set<int> placed;
    for (int id : allLayoutEntries()) {
        if (id == kSeparator || id == kSubmenuEnd) continue;
        EXPECT_NE(findCommand(id), nullptr) << "layout entry " << id << " has no row";
        placed.insert(id);
    }
    for (const CommandRow& row : commandRows())
        EXPECT_TRUE(placed.count(row.id)) << "id " << row.id << " is in no menu or toolbar";

    // A tool needs its bitmap; a menu item its label.
    for (const std::vector<int>* tools : {&mainToolLayout(), &navigationToolLayout()})
        for (int id : *tools)
            if (id != kSeparator) {
                EXPECT_NE(findCommand(id)->bitmap, nullptr) << "tool " << id;
            }
    for (const MenuLayout& menu : menuLayout())
        for (int id : menu.items)
            if (id > 0) {
                EXPECT_NE(findCommand(id)->label, nullptr) << "menu item " << id;
            }
}

TEST(CommandTable, SubmenusOpenAndCloseInPairs) {
    for (const MenuLayout& menu : menuLayout()) {
        int depth = 0;
        for (int id : menu.items) {
            if (id == kSubmenuEnd) {
                EXPECT_GT(depth, 0) << menu.title << ": a submenu end without its submenu";
                --depth;
            } else if (const CommandRow* row = findCommand(id);
                       row && row->kind == CommandKind::Submenu) {
                ++depth;
            }
        }
        EXPECT_EQ(depth, 0) << menu.title << ": a submenu is never closed";
    }
    // The file lists fill their submenus at run time.
    for (int id : {ID_FAVOURITES_MENU, ID_RECENT_MENU})
        EXPECT_EQ(findCommand(id)->kind, CommandKind::Submenu);
}

TEST(CommandTable, EveryKeyIsInEveryLanguageFile) {
    const char* env = std::getenv("QN_SOURCE_DIR");
    ASSERT_NE(env, nullptr);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(fs::path(env) / "data")) {
        const std::string n = e.path().filename().string();
        if (n == "constants.ini" ||
            (n.rfind("constants_", 0) == 0 && e.path().extension() == ".ini"))
            files.push_back(e.path());
    }
    ASSERT_GE(files.size(), 2u) << "the English and German constants";
    std::set<std::string> keys;
    for (const MenuLayout& menu : menuLayout())
        keys.insert(menu.title);
    for (const CommandRow& row : commandRows())
        for (const char* key : {row.label, row.toolLabel, row.tip})
            if (key) keys.insert(key);
    for (const fs::path& file : files) {
        IniFile ini(wxString::FromUTF8(file.string().c_str()));
        ASSERT_TRUE(ini.isLoaded()) << file;
        for (const std::string& key : keys)
            EXPECT_FALSE(ini.get(wxString::FromUTF8(key.c_str())).empty())
                << key << " missing in " << file.filename();
    }
}

} // namespace
} // namespace qn
