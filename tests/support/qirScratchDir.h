// A private directory for one test, removed with everything in it.
#ifndef QIR_SCRATCH_DIR_H
#define QIR_SCRATCH_DIR_H

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

class qirScratchDir {
public:
    qirScratchDir()
    {
        char name[] = "/tmp/qir-test-XXXXXX";
        if (mkdtemp(name)) path_ = name;
    }
    ~qirScratchDir() { RemoveTree(path_); }

    const std::string& Path() const { return path_; }
    std::string File(const char* name) const { return path_ + "/" + name; }

    static int WriteFile(const std::string& path, const std::string& text)
    {
        FILE* f = fopen(path.c_str(), "w");
        if (!f) return -1;
        int ok = fwrite(text.data(), 1, text.size(), f) == text.size();
        return fclose(f) == 0 && ok ? 0 : -1;
    }
    static std::string ReadFile(const std::string& path)
    {
        std::string out;
        FILE* f = fopen(path.c_str(), "r");
        if (!f) return "<missing>";
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        fclose(f);
        return out;
    }
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> out;
        DIR* d = opendir(path_.c_str());
        if (!d) return out;
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") out.push_back(e->d_name);
        closedir(d);
        return out;
    }

private:
    static void RemoveTree(const std::string& path)
    {
        if (path.empty()) return;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) return;
        if (S_ISDIR(st.st_mode)) {
            chmod(path.c_str(), 0700);
            if (DIR* d = opendir(path.c_str())) {
                while (dirent* e = readdir(d)) {
                    std::string n = e->d_name;
                    if (n != "." && n != "..") RemoveTree(path + "/" + n);
                }
                closedir(d);
            }
            rmdir(path.c_str());
        } else {
            unlink(path.c_str());
        }
    }
    std::string path_;
};

#endif
