// The server's own page at /: the three world tables of this rules
// version, each entry with a link that plays its replay in the game's page,
// and a form that sends a .qoreplay file.
#pragma once

#include <string>
#include <vector>

#include "server/store.h"

// tables: EASY, MEDIUM, HARD, best first. gameUrl: the game's page ("" for
// none: the links then download the replay).
std::string RenderPage(const std::vector<s_entry> tables[3], int rules, const std::string &gameUrl);
