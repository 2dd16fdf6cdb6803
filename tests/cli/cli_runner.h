#pragma once
// Runs the built framesifter-cli with its standard output and error captured.

#include <fcntl.h>
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
inline CliResult RunCli(const std::vector<std::string>& args) {
    static int serial = 0;
    const std::string base = "/tmp/fscli-run-" + std::to_string(getpid()) + "-" +
                             std::to_string(++serial);
    const std::string outPath = base + ".out", errPath = base + ".err";

    std::vector<std::string> all{FRAMESIFTER_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    CliResult result;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0) {
        }
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = SlurpFile(outPath);
    result.err = SlurpFile(errPath);
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
