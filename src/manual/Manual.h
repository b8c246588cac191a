#pragma once

#include <string>
#include <string_view>
#include <vector>

// The manual pages of marvane and marvane-cli, kept as data in one place: the programs print them
// as plain text for --help, and the build writes them as manual pages (roff) from the same data,
// so the two never differ.
namespace manual {

// One item of a section: a term (an option, a command, a variable, a file) and what it means.
struct Item {
    std::string term;
    std::string text;
    int level = 0;  // 1: an option of the item above it
};

// A section: an opening paragraph, then its items, then a closing paragraph.
struct Section {
    std::string title;  // "OPTIONS", "ENVIRONMENT", ...
    std::string intro;
    std::vector<Item> items;
    std::string outro;
};

struct Page {
    std::string name;     // "marvane-cli"
    std::string summary;  // the one line after the name
    std::vector<std::string> synopsis;
    std::string description;
    std::vector<Section> sections;
};

const Page& GuiPage();
const Page& CliPage();

// The page as plain text wrapped to `width` columns (the --help text).
std::string HelpText(const Page& page, int width = 80);
// The page as a manual page in section 1, for man(1).
std::string RoffText(const Page& page, std::string_view version, std::string_view date);
// A text escaped for roff: backslashes and hyphens, and a leading "." or "'" made literal.
std::string RoffEscape(std::string_view text);

}  // namespace manual
