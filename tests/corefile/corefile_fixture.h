// Shared fixture of the corefile tests: collects the archive's messages,
// gives each test its own scratch directory, unmounts afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "corefile/corefile.h"
#include "tests/corefile/core_image.h"

struct Message {
    int problem;
    std::string text;
};

inline std::vector<Message> g_messages;

inline void collect_message(int problem, const char *text) {
    g_messages.push_back({problem, text});
}

class CorefileTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_messages.clear();
        corefile_setmessagehook(collect_message);
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("qo_corefile_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                std::to_string(getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        corefile_closeimage();
        corefile_setmessagehook(nullptr);
        std::filesystem::remove_all(dir_);
    }

    // With '/' between the parts, as the engine's paths have them everywhere.
    std::string path(const std::string &name) const { return (dir_ / name).generic_string(); }

    void write_file(const std::string &name, const std::string &data) const {
        std::filesystem::path p = dir_ / name;
        std::filesystem::create_directories(p.parent_path());
        FILE *fp = fopen(p.string().c_str(), "wb");
        ASSERT_NE(fp, nullptr);
        fwrite(data.data(), 1, data.size(), fp);
        fclose(fp);
    }
    void write_file(const std::string &name, const coreimage::Bytes &data) const {
        write_file(name, std::string(data.begin(), data.end()));
    }

    bool said(const std::string &text) const {
        for (const Message &m : g_messages)
            if (m.text == text) return true;
        return false;
    }
    // The problem lines, joined, for expectations on their wording.
    std::string problems() const {
        std::string all;
        for (const Message &m : g_messages)
            if (m.problem) all += m.text;
        return all;
    }

    std::string read(COREFILE *f, int n) {
        std::string buf((size_t)n, '#');
        corefile_read(&buf[0], 1, n, f);
        return buf;
    }

    std::filesystem::path dir_;
};
