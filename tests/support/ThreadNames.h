// The names of this process's threads, as `top -H` shows them.
#pragma once

#include <pthread.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

inline std::multiset<std::string> ThreadNames() {
    std::multiset<std::string> names;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream in(task.path() / "comm");
        std::string name;
        if (std::getline(in, name)) {
            names.insert(name);
        }
    }
    return names;
}

inline std::string ThisThreadName() {
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
}
