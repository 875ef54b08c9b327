// A scanner reading INVEXA.INI in a tight loop while the administrator saves it 1000 times: prints how many whole
// reads there were and how many saw neither the old nor the new file (a save writes a temporary file beside it and
// renames it over, so there must be none). Usage: settings_readers [FOLDER]   (default: a new folder under
// /dev/shm, removed afterwards; each save syncs twice, and a thousand of them on a disk would measure the disk)
#include "config/SettingsEditor.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

using namespace invexa;
namespace fs = std::filesystem;

namespace {
std::string Read(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
} // namespace

int main(int argc, char **argv) {
    std::string folder = argc > 1 ? argv[1] : "";
    const bool own = folder.empty();
    if (own) {
        std::string pattern = "/dev/shm/invexa-readers-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            return 1;
        folder = pattern;
    }
    const std::string path = folder + "/INVEXA.INI";
    std::ofstream(path, std::ios::binary) << "; kept by hand\r\n[Switches]\r\nStealthMode=0\r\n[Other]\r\nx=1\r\n";
    TSettingsEditor setup(folder);
    for (int i = 0; i < 200; ++i) // a file of several blocks, so that one written in place would be seen half-written
        setup.AddIgnore("Maker " + std::to_string(1000 + i), "Application");
    setup.SetDistribution("Head Office");
    setup.Save();
    const std::string fileA = Read(path);
    setup.SetDistribution("Branch");
    setup.Save();
    const std::string fileB = Read(path);

    std::atomic<bool> stop = false, started = false;
    long reads = 0, torn = 0; // a missing file counts as torn: the scanner would fall back to its defaults
    std::thread scanner([&] {
        for (; !stop; ++reads, started = true) {
            const std::string bytes = Read(path);
            torn += bytes != fileA && bytes != fileB;
        }
    });
    while (!started)
        std::this_thread::yield();
    for (int i = 0; i < 1000; ++i) {
        setup.SetDistribution(i % 2 ? "Branch" : "Head Office");
        setup.Save();
    }
    stop = true;
    scanner.join();
    std::printf("%ld whole reads over 1000 saves of %zu bytes, %ld torn\n", reads - torn, fileA.size(), torn);
    if (own)
        fs::remove_all(folder);
    return torn == 0 ? 0 : 1;
}
