#pragma once
// Runs the built framesifter-cli with its standard output and error captured.

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string SlurpFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The outputs go through files, not pipes, so that a chatty run cannot block on a full pipe.
// With stderrTerminal the standard error is a pseudo-terminal, read while the program runs.
inline CliResult RunCli(const std::vector<std::string>& args, bool stderrTerminal = false) {
    static int serial = 0;
    const std::string base =
        "/tmp/fscli-run-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    const std::string outPath = base + ".out", errPath = base + ".err";

    std::vector<std::string> all{FRAMESIFTER_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    int master = -1;
    if (stderrTerminal) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return {};
        posix_spawn_file_actions_addopen(&actions, 2, ptsname(master), O_RDWR | O_NOCTTY, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    pid_t pid = 0;
    CliResult result;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        if (master >= 0) {
            // Until the last writer closes the terminal, reading ends with EIO.
            char buffer[4096];
            for (;;) {
                pollfd p{master, POLLIN, 0};
                if (poll(&p, 1, 20000) <= 0) break;
                const ssize_t n = read(master, buffer, sizeof buffer);
                if (n <= 0) break;
                result.err.append(buffer, std::size_t(n));
            }
        }
        while (waitpid(pid, &status, 0) < 0) {}
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (master >= 0) close(master);
    result.out = SlurpFile(outPath);
    if (master < 0) result.err = SlurpFile(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return result;
}

// RFC 4180 records (fields may be quoted, with doubled quotes and embedded line breaks).
inline std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, inRecord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        inRecord = true;
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
        } else if (c == '\n') {
            row.push_back(field);
            field.clear();
            rows.push_back(row);
            row.clear();
            inRecord = false;
        } else {
            field += c;
        }
    }
    if (inRecord) {
        row.push_back(field);
        rows.push_back(row);
    }
    return rows;
}
