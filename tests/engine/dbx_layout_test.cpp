#include "engine/dbx_layout.h"

#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::engine::dbx {
namespace {

Bytes headerBytes(std::uint32_t magic, std::uint32_t kind, std::uint32_t head) {
    Bytes block(kHeaderSize, '\0');
    for (int k = 0; k < 4; ++k) {
        block[static_cast<std::size_t>(k)] = toByte(magic >> (8 * k));
        block[4 + static_cast<std::size_t>(k)] = toByte(kind >> (8 * k));
        block[kDeletedChainHeadAt + static_cast<std::size_t>(k)] = toByte(head >> (8 * k));
    }
    return block;
}

TEST(DbxLayout, ReadLe32StaysInsideTheBlock) {
    const Bytes block = "\x01\x02\x03\x04\x05";
    EXPECT_EQ(readLe32(block, 0), 0x04030201u);
    EXPECT_EQ(readLe32(block, 1), 0x05040302u);
    EXPECT_EQ(readLe32(block, 2), std::nullopt);
    EXPECT_EQ(readLe32(block, 99), std::nullopt);
}

TEST(DbxLayout, ChecksMagicBeforeFileKind) {
    EXPECT_EQ(checkHeader(parseHeader(headerBytes(kMagic, kMessageFileKind, 0))),
              HeaderCheck::Accepted);
    EXPECT_EQ(checkHeader(parseHeader(headerBytes(kMagic, 0x12345678, 0))),
              HeaderCheck::NotMessageFile);
    EXPECT_EQ(checkHeader(parseHeader(headerBytes(0x11111111, 0x12345678, 0))),
              HeaderCheck::NotOutlookExpressFile);
    EXPECT_EQ(checkHeader(parseHeader(headerBytes(0x11111111, kMessageFileKind, 0))),
              HeaderCheck::NotOutlookExpressFile);
}

TEST(DbxLayout, ShortHeaderGivesWhatItHas) {
    const Bytes full = headerBytes(kMagic, kMessageFileKind, 0x9999);
    EXPECT_EQ(parseHeader(ByteView(full).substr(0, 7)), std::nullopt);
    EXPECT_EQ(checkHeader(parseHeader(ByteView(full).substr(0, 7))),
              HeaderCheck::NotOutlookExpressFile);
    const auto eight = parseHeader(ByteView(full).substr(0, 8));
    ASSERT_TRUE(eight);
    EXPECT_EQ(checkHeader(eight), HeaderCheck::Accepted);
    EXPECT_EQ(eight->deletedChainHead, 0u) << "a header cut before the chain head has no chain";
    EXPECT_EQ(parseHeader(ByteView(full).substr(0, kDeletedChainHeadAt + 4))->deletedChainHead,
              0x9999u);
}

TEST(DbxLayout, RecordIsFullOnlyWithLastByteAndContinuation) {
    DeletedRecord record;
    record.text.back() = 'x';
    record.continuation = 5;
    EXPECT_TRUE(record.fullByLayout());
    record.continuation = 0;
    EXPECT_FALSE(record.fullByLayout());
    record.continuation = 5;
    record.text.back() = '\0';
    EXPECT_FALSE(record.fullByLayout()) << "a record ending in 0x00 is never full";
}

TEST(DbxLayout, ReadsRecordFieldsAndRefusesRecordsPastTheEnd) {
    testing::TempDir dir;
    testing::MailboxWriter writer;
    writer.addRecord("hello", false);
    const Bytes bytes = writer.build();
    testing::writeFile(dir.path() / "m.dbx", bytes);
    std::error_code error;
    auto file = platform::ReadOnlyFile::open(dir.path() / "m.dbx", error);
    ASSERT_TRUE(file);
    const RecordReader reader(*file);
    DeletedRecord record;
    ASSERT_TRUE(reader.read(kHeaderSize, record));
    EXPECT_EQ(record.chainLink, 0u);
    EXPECT_EQ(record.continuation, 0u);
    EXPECT_EQ(ByteView(record.text.data(), 5), "hello");
    EXPECT_FALSE(reader.read(kHeaderSize + 1, record)) << "one byte short of a whole record";
    EXPECT_FALSE(reader.read(0xFFFFFFFFull, record));
    EXPECT_FALSE(reader.read(UINT64_MAX, record));
}

TEST(DbxLayout, OpeningRefusesFoldersAndMissingFiles) {
    testing::TempDir dir;
    std::error_code error;
    EXPECT_FALSE(platform::ReadOnlyFile::open(dir.path(), error));
    EXPECT_TRUE(error);
    error.clear();
    EXPECT_FALSE(platform::ReadOnlyFile::open(dir.path() / "missing.dbx", error));
    EXPECT_TRUE(error);
}

} // namespace
} // namespace keldor::engine::dbx
