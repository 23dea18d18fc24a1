// The writer's index tree, which the extract tests and the generated
// comparison mailboxes stand on: past one node's 51 entries it must still
// list every live message once, in the order they were added.

#include "tests/support/mailbox_writer.h"

#include "engine/dbx_layout.h"
#include "engine/live_messages.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::testing {
namespace {

TEST(MailboxWriter, IndexTreeOfAnySizeListsEveryLiveMessageInOrder) {
    // One node, one node full, one level below it, two levels below it.
    for (const std::size_t count : {1u, 51u, 52u, 2704u}) {
        MailboxWriter writer;
        std::vector<Bytes> mails;
        for (std::size_t m = 0; m < count; ++m) {
            mails.push_back("Subject: " + std::to_string(m) + "\r\n\r\n" +
                            Bytes(m % 700, static_cast<char>('a' + m % 26)));
            writer.addLiveMessage(mails.back());
        }
        TempDir dir;
        const auto path = dir.path() / "m.dbx";
        ASSERT_TRUE(writeFile(path, writer.build()));
        std::error_code error;
        const auto file = platform::ReadOnlyFile::open(path, error);
        ASSERT_TRUE(file);
        Bytes header(engine::dbx::kHeaderSize, '\0');
        ASSERT_TRUE(file->readAt(0, header));
        const auto parsed = engine::dbx::parseHeader(header);
        ASSERT_TRUE(parsed);

        const engine::LiveIndex index = engine::listLiveMessages(*file, parsed->indexTreeRoot);
        EXPECT_EQ(index.damage.total(), 0) << count;
        ASSERT_EQ(index.records.size(), count);
        for (std::size_t m = 0; m < count; ++m) {
            Bytes text;
            engine::LiveDamage damage;
            const auto end = engine::readLiveMessage(
                *file, index.records[m],
                [&](ByteView block) {
                    text.append(block);
                    return true;
                },
                damage);
            ASSERT_EQ(end, engine::MessageEnd::Complete) << count << " " << m;
            ASSERT_EQ(text, mails[m]) << count << " " << m;
        }
    }
}

} // namespace
} // namespace keldor::testing
