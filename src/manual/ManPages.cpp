// Writes the manual pages marvane.1 and marvane-cli.1 into a folder (run by the build).
//   marvane-manpages OUTPUT_FOLDER DATE
#include <cstdio>
#include <fstream>
#include <string>

#include "MarvaneVersion.h"
#include "manual/Manual.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
    const std::string partial = path + ".part";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush()) {
            std::fprintf(stderr, "marvane-manpages: cannot write %s\n", partial.c_str());
            return false;
        }
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "marvane-manpages: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: marvane-manpages OUTPUT_FOLDER DATE\n", stderr);
        return 2;
    }
    const std::string folder = argv[1];
    const std::string date = argv[2];
    bool ok = true;
    for (const manual::Page* page : {&manual::GuiPage(), &manual::CliPage()}) {
        ok = Write(folder + "/" + page->name + ".1",
                   manual::RoffText(*page, kMarvaneVersion, date)) &&
             ok;
    }
    return ok ? 0 : 1;
}
