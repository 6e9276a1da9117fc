// Many threads on one registry: writers creating, setting and deleting while readers open, query
// and enumerate, and while the whole registry is exported and imported. Every answer must be one a
// single caller could have had, and the final state what the writers last wrote.
#include "RegistryTestSupport.h"
#include "standin/registry.h"

#include <atomic>
#include <cstdio>
#include <thread>

using namespace regtest;

namespace {

constexpr int kWriters = 4;
constexpr int kReaders = 4;
constexpr ULONG kRounds = 300;

std::u16string WriterKey(int writer)
{
    return u"\\Registry\\Machine\\Software\\Writer" + std::u16string(1, char16_t(u'0' + writer));
}

} // namespace

TEST_F(RegistryTest, ReadersAndWritersShareTheTree)
{
    Key software;
    ASSERT_EQ(Create(&software, u"\\Registry\\Machine\\Software"), STATUS_SUCCESS);
    std::atomic<int> writersLeft{kWriters};
    std::atomic<int> oddAnswers{0};
    std::vector<std::thread> threads;

    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&, w] {
            Key own;
            if (Create(&own, WriterKey(w)) != STATUS_SUCCESS)
                ++oddAnswers;
            for (ULONG round = 1; round <= kRounds; ++round) {
                Key child;
                ULONG disposition = 0;
                if (SetDword(own.get(), u"Round", round) != STATUS_SUCCESS ||
                    Create(&child, u"Child", &disposition, 0, own.get()) != STATUS_SUCCESS ||
                    disposition != REG_CREATED_NEW_KEY ||
                    SetString(child.get(), u"Text", u"round") != STATUS_SUCCESS ||
                    ZwDeleteKey(child.get()) != STATUS_SUCCESS)
                    ++oddAnswers;
            }
            --writersLeft;
        });
    }
    for (int r = 0; r < kReaders; ++r) {
        threads.emplace_back([&, r] {
            ULONG lastSeen = 0;
            while (writersLeft > 0) {
                Key key;
                const NTSTATUS opened = Open(&key, WriterKey(r % kWriters));
                if (opened == STATUS_OBJECT_NAME_NOT_FOUND)
                    continue; // the writer has not made it yet
                if (opened != STATUS_SUCCESS) {
                    ++oddAnswers;
                    continue;
                }
                KEY_VALUE_PARTIAL_INFORMATION record[2];
                ULONG result = 0;
                Name round(u"Round");
                const NTSTATUS queried = ZwQueryValueKey(key.get(), round.get(), KeyValuePartialInformation,
                                                         record, sizeof record, &result);
                if (queried == STATUS_SUCCESS) {
                    ULONG value;
                    std::memcpy(&value, record[0].Data, 4);
                    if (value < lastSeen) // rounds only go up
                        ++oddAnswers;
                    lastSeen = value;
                } else if (queried != STATUS_OBJECT_NAME_NOT_FOUND) {
                    ++oddAnswers;
                }
                UCHAR node[232];
                const NTSTATUS listed =
                    ZwEnumerateKey(key.get(), 0, KeyNodeInformation, node, sizeof node, &result);
                if (listed != STATUS_SUCCESS && listed != STATUS_NO_MORE_ENTRIES)
                    ++oddAnswers;
            }
        });
    }
    // Saving reads the whole tree while the writers change it; loading changes keys of its own.
    threads.emplace_back([&] {
        ULONG imports = 0;
        do {
            std::string text;
            char line[64];
            std::snprintf(line, sizeof line, "\"n\"=dword:%08x\n", ++imports);
            if (!standin::ExportRegistryText({}, &text) || text.find("[HKEY_USERS]") == std::string::npos ||
                !standin::ImportRegistryText("Windows Registry Editor Version 5.00\n"
                                             "[HKEY_LOCAL_MACHINE\\Software\\Importer]\n" +
                                             std::string(line)))
                ++oddAnswers;
        } while (writersLeft > 0);
        if (standin::ReadRegistryDword(u"\\Registry\\Machine\\Software\\Importer", u"n") != imports)
            ++oddAnswers;
    });
    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ(oddAnswers.load(), 0);
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(standin::ReadRegistryDword(WriterKey(w), u"Round"), kRounds);
        EXPECT_EQ(standin::RegistrySubKeyNames(WriterKey(w)), std::vector<std::u16string>{});
    }
}
