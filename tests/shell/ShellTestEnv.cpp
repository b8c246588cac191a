#include <cstdlib>
#include <filesystem>
#include <string>

// The shell's tests write settings and desktop files: give this test binary a home of its own
// before the application object reads any path.
namespace {

struct PrivateHome {
    PrivateHome() {
        char pattern[] = "/tmp/marvane-shell-test-XXXXXX";
        if (const char* dir = mkdtemp(pattern)) {
            const std::string home(dir);
            setenv("HOME", home.c_str(), 1);
            setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
            m_home = home;
        }
    }
    ~PrivateHome() {
        std::error_code ignored;
        if (!m_home.empty()) std::filesystem::remove_all(m_home, ignored);
    }

    std::string m_home;
};

const PrivateHome kPrivateHome;

}  // namespace
