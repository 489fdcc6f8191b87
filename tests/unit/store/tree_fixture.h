// A small document tree for the store tests, and a summary of a document
// file as another reader sees it.
#pragma once

#include "store/database.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace qn::test {

// Root (1) with children Alpha (2) and Beta (3); Alpha has a child Gamma (4).
inline wxString makeTree(const TempDir& dir, const char* name = "doc.q2db") {
    Database db(Database::Defaults{{wxS("comp"), wxS("1")}});
    Block* root = db.newDocument();
    root->setString(K_cap, wxS("Root"));
    const char* caps[] = {"Alpha", "Beta"};
    for (const char* cap : caps) {
        Block* n = db.newNode(1);
        n->setString(K_cap, wxString::FromAscii(cap));
        n->setText(wxString::FromAscii(cap) + wxS(" quokka ") + wxString(wxS('x'), 300));
        root->editChildren(n->id(), CH_APPEND);
    }
    Block* g = db.newNode(2);
    g->setString(K_cap, wxS("Gamma"));
    g->setText(wxS("gamma quokka"));
    db.getBlock(2)->editChildren(g->id(), CH_APPEND);
    db.setPath(dir.file(name));
    EXPECT_TRUE(db.save());
    return db.path();
}

// Titles, parents and child lists of every block, as another reader sees
// them, and the start of each article.
inline std::string outline(const wxString& path, const wxString& password = wxString()) {
    Database db;
    if (db.open(path) != 0) return "cannot open";
    if (db.isProtected() && unlockDocument(db, password) != Unlock::Ok) return "locked";
    std::string out;
    for (const auto& [id, b] : db.blocks()) {
        Block* n = db.getBlock(id);
        out += std::to_string(id) + ":" + std::string(n->getString(K_cap).utf8_str()) + "/" +
               std::string(n->getString(K_p).utf8_str()) + "/" +
               std::string(n->getString(K_ch).utf8_str()) + "/" +
               std::string(n->text().utf8_str()).substr(0, 11) + ";";
    }
    return out;
}

} // namespace qn::test
