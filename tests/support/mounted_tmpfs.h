#pragma once
// A small tmpfs of the test's own: a rename out of it crosses file systems, and a write into
// it runs out of room. Mounting needs root; mounted() says whether it worked.

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

class MountedTmpfs {
public:
    // At a new folder under /tmp, removed again afterwards.
    explicit MountedTmpfs(const char* size = "size=4m") {
        char pattern[] = "/tmp/fsmount-XXXXXX";
        if (geteuid() != 0 || !mkdtemp(pattern)) return;
        path_ = pattern;
        ownsFolder_ = true;
        mounted_ = mount("tmpfs", pattern, "tmpfs", 0, size) == 0;
    }
    // At `folder`, created when missing and left in place.
    MountedTmpfs(const std::string& folder, const char* size) : path_(folder) {
        if (geteuid() != 0 || (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)) return;
        mounted_ = mount("tmpfs", folder.c_str(), "tmpfs", 0, size) == 0;
    }
    ~MountedTmpfs() {
        if (mounted_) umount2(path_.c_str(), MNT_DETACH);
        if (ownsFolder_) rmdir(path_.c_str());
    }
    MountedTmpfs(const MountedTmpfs&) = delete;
    MountedTmpfs& operator=(const MountedTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool ownsFolder_ = false;
    bool mounted_ = false;
};
