#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "platform/path_resolve.h"

namespace velm {

namespace {

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

char fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_ignoring_case(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == '\0' || fold(a[i]) != fold(b[i])) return false;
    }
    return b[i] == '\0';
}

// The on-disk spelling of `component` inside `dir`: the typed spelling when an entry of
// exactly that name exists, else the smallest case-insensitive match, else the typed
// spelling (a file still to be created).
std::string match_component(const std::string& dir, const std::string& component) {
    std::string exact = dir.empty() || dir.back() == '/' ? dir + component : dir + "/" + component;
    struct stat st;
    if (::lstat(exact.c_str(), &st) == 0) return component;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr) return component;
    std::string best;
    bool found = false;
    while (struct dirent* e = ::readdir(d)) {
        if (!equal_ignoring_case(component, e->d_name)) continue;
        if (!found || best.compare(e->d_name) > 0) best = e->d_name;
        found = true;
    }
    ::closedir(d);
    return found ? best : component;
}

}  // namespace

std::string resolve_path(const std::string& typed) {
    std::string result;
    size_t i = 0;
    if (!typed.empty() && is_separator(typed[0])) {
        result = "/";
        while (i < typed.size() && is_separator(typed[i])) ++i;
    }
    while (i < typed.size()) {
        size_t end = i;
        while (end < typed.size() && !is_separator(typed[end])) ++end;
        std::string component = typed.substr(i, end - i);
        std::string name = (component == "." || component == "..")
                               ? component
                               : match_component(result, component);
        if (!result.empty() && result.back() != '/') result += '/';
        result += name;
        i = end;
        while (i < typed.size() && is_separator(typed[i])) ++i;
    }
    if (names_directory(typed)) result += '/';
    return result;
}

std::string native_path(const std::string& typed) {
    std::string path = typed;
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

}  // namespace velm
