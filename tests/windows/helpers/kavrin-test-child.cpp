// A child process for the spawn tests: --stderr TEXT writes TEXT to standard
// error, --stdout TEXT to standard output, --sleep MS waits, --exit N ends with N.
// Options run in the order given.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
    int code = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const char* option = argv[i];
        const char* value = argv[i + 1];
        if (std::strcmp(option, "--stderr") == 0) {
            std::fputs(value, stderr);
            std::fflush(stderr);
        } else if (std::strcmp(option, "--stdout") == 0) {
            std::fputs(value, stdout);
            std::fflush(stdout);
        } else if (std::strcmp(option, "--sleep") == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value)));
        } else if (std::strcmp(option, "--exit") == 0) {
            code = std::atoi(value);
        }
    }
    return code;
}
