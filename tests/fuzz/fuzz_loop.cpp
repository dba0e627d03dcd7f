// The plain fuzzing loop, for compilers without libFuzzer: replays inputs,
// then mutates the seed corpus at random for a while.
//
//   fuzz_loop FUNCTION [--replay PATH]... [--corpus DIR] [--seconds S]
//             [--runs N] [--seed N] [--time-limit T] [--verbose 1]
//
// PATH is a file or a folder of files, each one input. A finding (see
// fuzz_calls.h) is written to fuzz-finding-FUNCTION-N in the current folder,
// so that `fuzz_loop FUNCTION --replay fuzz-finding-FUNCTION-N` repeats it;
// a call still running after 20 time limits counts as a hang and is
// written the same way. A sanitizer's report or an abort ends the process;
// its input is then written to fuzz-finding-FUNCTION-crash. Each finding also prints its
// bytes and a command that repeats it, so that a log alone suffices.
// --verbose 1 prints each call and what it gave.
// Exits 1 when anything was found.
#include "fuzz_calls.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>


using Input = std::vector<std::uint8_t>;

namespace {

// The input being run and the function's name, for the hang and crash handlers.
const Input* running = nullptr;
const char* runningFunction = "";
char hangPath[256], crashPath[256];

// Writes `text` to standard error; safe in a signal handler.
void say(const char* text)
{
    if (write(2, text, std::strlen(text)) < 0) {
        // nothing more to do in a handler
    }
}

// Prints the input's bytes and the shell command that writes them to
// `path` and replays them, from the test build's folder; safe in a signal
// handler.
void printRepeatCommand(const char* path, const Input& input)
{
    static const char digits[] = "0123456789abcdef";
    say("  repeat: printf '");
    for (std::uint8_t b : input) {
        const char escape[5] = {'\\', 'x', digits[b >> 4], digits[b & 15], 0};
        say(escape);
    }
    say("' > ");
    say(path);
    say(" && ./fuzz_loop ");
    say(runningFunction);
    say(" --replay ");
    say(path);
    say(" --verbose 1\n");
}

void writeInput(const char* path, const Input& input)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    if (!input.empty() && write(fd, input.data(), input.size()) < 0) {
        // nothing more to do in a handler
    }
    close(fd);
}

void onHang(int)
{
    say("finding: a call hung\n");
    if (running) {
        writeInput(hangPath, *running);
        printRepeatCommand(hangPath, *running);
    }
    _exit(2);
}

// A sanitizer's report ends the process through abort() when its options
// say abort_on_error=1 (scripts/fuzz.sh sets it), as does a failed assert.
void onAbort(int)
{
    say("finding: the call ended the process\n");
    if (running) {
        writeInput(crashPath, *running);
        printRepeatCommand(crashPath, *running);
    }
    std::signal(SIGABRT, SIG_DFL);
    std::abort();
}

Input readFile(const std::string& path)
{
    Input bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

// The files at `path`: the file itself, or those of the folder, sorted.
std::vector<std::string> filesAt(const std::string& path)
{
    std::vector<std::string> files;
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return files;
    if (!S_ISDIR(info.st_mode))
        return {path};
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                files.push_back(path + "/" + entry->d_name);
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// One to four random edits of an input (a byte changed, inserted or
// removed, or a run of random bytes appended), or now and then a fresh one.
Input mutated(Input input, std::mt19937& random)
{
    std::uniform_int_distribution<int> byte(0, 255), edits(1, 4), kind(0, 3);
    if (random() % 4 == 0) {   // now and then a fresh input, long enough for three mutations
        input.resize(random() % 49);
        for (std::uint8_t& b : input)
            b = static_cast<std::uint8_t>(byte(random));
        return input;
    }
    for (int e = edits(random); e > 0; --e) {
        const std::size_t at = input.empty() ? 0 : random() % (input.size() + 1);
        switch (kind(random)) {
        case 0:
            if (at < input.size())
                input[at] = static_cast<std::uint8_t>(byte(random));
            break;
        case 1: input.insert(input.begin() + at, static_cast<std::uint8_t>(byte(random))); break;
        case 2:
            if (at < input.size())
                input.erase(input.begin() + at);
            break;
        default:
            for (int n = byte(random) % 8; n >= 0; --n)
                input.push_back(static_cast<std::uint8_t>(byte(random)));
        }
    }
    if (input.size() > 64)
        input.resize(64);
    return input;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: fuzz_loop FUNCTION [--replay PATH]... [--corpus DIR] [--seconds S] [--runs N] "
                             "[--seed N] [--time-limit T]\n");
        return 2;
    }
    const std::string function = argv[1];
    std::vector<std::string> replay;
    std::string corpus;
    double seconds = 0, timeLimit = 1;
    long runs = -1;
    unsigned seed = 1;
    bool verbose = false;
    for (int a = 2; a + 1 < argc; a += 2) {
        const std::string option = argv[a], value = argv[a + 1];
        if (option == "--replay")
            replay.push_back(value);
        else if (option == "--corpus")
            corpus = value;
        else if (option == "--seconds")
            seconds = std::atof(value.c_str());
        else if (option == "--runs")
            runs = std::atol(value.c_str());
        else if (option == "--seed")
            seed = static_cast<unsigned>(std::atol(value.c_str()));
        else if (option == "--time-limit")
            timeLimit = std::atof(value.c_str());
        else if (option == "--verbose")
            verbose = value != "0";
    }
    runningFunction = argv[1];
    std::snprintf(hangPath, sizeof hangPath, "fuzz-finding-%s-hang", function.c_str());
    std::snprintf(crashPath, sizeof crashPath, "fuzz-finding-%s-crash", function.c_str());
    std::signal(SIGALRM, onHang);
    std::signal(SIGABRT, onAbort);
    const unsigned watchdog = static_cast<unsigned>(20 * timeLimit) + 1;

    long findings = 0, calls = 0, succeeded = 0;
    auto run = [&](const Input& input) {
        running = &input;
        alarm(watchdog);
        const imrestore::fuzz::Call call = imrestore::fuzz::makeCall(function, input.data(), input.size());
        const imrestore::fuzz::Outcome outcome = imrestore::fuzz::runCall(function, call);
        const std::string finding = imrestore::fuzz::judge(function, call, outcome, timeLimit);
        alarm(0);
        ++calls;
        succeeded += outcome.result.failed ? 0 : 1;
        const bool fine = finding.empty();
        if (verbose)
            std::printf("%s -> %s (%.3f s)\n", call.description.c_str(),
                        outcome.result.failed ? outcome.result.errorId.c_str() : "results", outcome.seconds);
        if (!fine)
            std::fprintf(stderr, "finding in %s: %s\n  call: %s\n", function.c_str(), finding.c_str(),
                         call.description.c_str());
        if (!fine) {
            char path[256];
            std::snprintf(path, sizeof path, "fuzz-finding-%s-%ld", function.c_str(), findings);
            writeInput(path, input);
            std::fprintf(stderr, "  input written to %s\n", path);
            printRepeatCommand(path, input);
            ++findings;
        }
    };

    for (const std::string& path : replay)
        for (const std::string& file : filesAt(path))
            run(readFile(file));

    std::vector<Input> seeds{Input()};
    if (!corpus.empty())
        for (const std::string& file : filesAt(corpus))
            seeds.push_back(readFile(file));
    std::mt19937 random(seed);
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    long mutations = 0;
    while ((runs < 0 ? seconds > 0 && elapsed() < seconds : mutations < runs) && findings < 10) {
        run(mutated(seeds[random() % seeds.size()], random));
        ++mutations;
    }
    const double took = elapsed();
    std::printf("%s: %ld calls (%ld random, %ld returned results) in %.1f s, %.0f random argument lists per second, "
                "%ld findings\n",
                function.c_str(), calls, mutations, succeeded, took, took > 0 ? mutations / took : 0.0, findings);
    return findings > 0 ? 1 : 0;
}
