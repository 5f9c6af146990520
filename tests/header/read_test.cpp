// Readers: hand-laid files of both versions through both host variants, the
// version decision, and every failure.
#include "tests/support/header_fixtures.h"

#include <sys/sysinfo.h>

#include <climits>

using namespace std::string_literals;

namespace {

// Runs a version-detecting or version-2 reader; keeps result, texts and
// standard error.
struct Read {
    Record rec{nullptr};
    Texts texts;
    std::string err;
    long position = -1;

    Read(Quenda_header_2* (*reader)(FILE*, char**, char**), Bytes file, long start = 0)
    {
        Input in(std::move(file));
        std::fseek(in.get(), start, SEEK_SET);
        err = stderr_of([&] {
            alloc::watch();
            rec.h = reader(in.get(), &texts.ort, &texts.kan);
            alloc::stop();
        });
        position = in.position();
    }
};

Read read_native(Bytes file)
{
    return Read(native().read, std::move(file));
}

std::string text(const char* s)
{
    return s == nullptr ? "(null)" : s;
}

TEST(Read, Version1FixtureBothReaders)
{
    for (auto reader : {+[](FILE*f, char**o, char**k) {
                            *o = *k = nullptr;
                            return native().read1(f);
                        },
                        native().read}) {
        Read r(reader, v1_file(Order::little, Extras::junk), 300);
        ASSERT_NE(r.rec.get(), nullptr);
        Record want;
        fill_sample(want.get(), 1, 1, false, true);
        EXPECT_TRUE(same_record(r.rec.get(), want.get()));
        EXPECT_EQ(r.rec->anz_header, 1);
        EXPECT_EQ(r.rec->nspbk, 74565);
        EXPECT_EQ(r.rec->not_used8[0], 0) << "reserved fields are not read";
        EXPECT_STREQ(r.rec->ifl, "speaker.ifl");
        EXPECT_EQ(std::string(r.rec->not_usedb, 10), "abcde\0\0\0\0\0"s);
        EXPECT_EQ(r.texts.ort, nullptr);
        EXPECT_EQ(r.texts.kan, nullptr);
        EXPECT_EQ(r.position, 512);
        EXPECT_EQ(r.err, "");
    }
}

TEST(Read, Version2FixtureBothReaders)
{
    for (auto reader : {native().read2, native().read}) {
        Read r(reader, v2_file(Order::little, Extras::junk), 700);
        ASSERT_NE(r.rec.get(), nullptr);
        Record want;
        fill_sample(want.get(), 2, 2, false, true);
        EXPECT_TRUE(same_record(r.rec.get(), want.get()));
        EXPECT_EQ(text(r.texts.ort), sample_ort) << "an orthographic text ending in kan";
        EXPECT_EQ(text(r.texts.kan), sample_kan);
        EXPECT_EQ(r.position, 1024);
        EXPECT_EQ(r.err, "");
    }
}

TEST(Read, OtherVariantGivesReversedNumbers)
{
    Input in(v1_file(Order::little));
    Record got(foreign().read1(in.get()));
    ASSERT_NE(got.get(), nullptr);
    Record want;
    fill_sample(want.get(), 1, 1, true);
    EXPECT_TRUE(same_record(got.get(), want.get()));
    EXPECT_EQ(got->anz_header, 0x01000000) << "the 1 lands in the most significant byte";
    EXPECT_EQ(got->year, static_cast<int16_t>(rev16(1996)));
    EXPECT_EQ(got->day, 24) << "single bytes are never reversed";
    EXPECT_EQ(std::string(got->sprk, 2), "de");
}

TEST(Read, OtherVariantReadsFileOfTheOtherOrder)
{
    // A file with big-endian numbers is what the other variant reads
    // correctly; its dynamic part and texts are the same.
    const Order other = Order::big; // what the other variant reads on either host
    for (auto reader : {foreign().read2, foreign().read}) {
        Read r(reader, fixed_block(other, Extras::none, 2, 2) + dynamic_part(sample_ort, sample_kan));
        ASSERT_NE(r.rec.get(), nullptr);
        Record want;
        fill_sample(want.get(), 2, 2);
        EXPECT_TRUE(same_record(r.rec.get(), want.get()));
        EXPECT_EQ(text(r.texts.ort), sample_ort);
        EXPECT_EQ(text(r.texts.kan), sample_kan);
    }
}

TEST(Read, DynamicPart)
{
    // The tags need not open the part, and the buffer is exactly
    // (anz_header - 1) * 512 bytes.
    Bytes file = fixed_block(Order::little, Extras::none, 3, 2) + dynamic_part("", "x", 0, std::string(600, 'q'));
    ASSERT_EQ(file.size(), 3u * 512);
    Read r = read_native(file);
    ASSERT_NE(r.rec.get(), nullptr);
    EXPECT_EQ(alloc::size(1), 1024u);
    EXPECT_EQ(text(r.texts.ort), "") << "an empty text is not a missing one";
    EXPECT_EQ(text(r.texts.kan), "x");
    EXPECT_EQ(r.position, 3 * 512);

    // A canonical tag before the orthographic one is not taken.
    Read r2 = read_native(fixed_block(Order::little, Extras::none, 2, 2) + dynamic_part("", "", 0, "kan\0K\0"s));
    EXPECT_EQ(text(r2.texts.ort), "");
    EXPECT_EQ(text(r2.texts.kan), "");
}

TEST(Read, VersionDecidedByBlockCount)
{
    // One block with version byte 2: version 1, the byte kept.
    {
        Read r = read_native(fixed_block(Order::little, Extras::none, 1, 2));
        ASSERT_NE(r.rec.get(), nullptr);
        EXPECT_EQ(r.err, native().name("read_header") + ": header information inconsistent\n"
                                                        " assuming header version 1\n");
        EXPECT_EQ(r.rec->version, 2);
        EXPECT_EQ(r.texts.ort, nullptr);
        EXPECT_EQ(r.texts.kan, nullptr);
        EXPECT_EQ(r.position, 512);
    }
    // Three blocks with version byte 1: version 2, two more blocks read.
    Bytes file = fixed_block(Order::little, Extras::none, 3, 1) + dynamic_part("o", "k", 0, std::string(700, 'z'));
    Read r = read_native(file);
    ASSERT_NE(r.rec.get(), nullptr);
    EXPECT_EQ(r.err, native().name("read_header") + ": header information inconsistent\n"
                                                    " assuming header version 2\n");
    EXPECT_EQ(r.rec->version, 1);
    EXPECT_EQ(text(r.texts.ort), "o");
    EXPECT_EQ(text(r.texts.kan), "k");
    EXPECT_EQ(r.position, 1536);
}

TEST(Read, IflOfFullLengthStaysUnterminated)
{
    Bytes file = v1_file(Order::little);
    put_text(file, 256, std::string(32, 'L'));
    Input in(file);
    Record got(native().read1(in.get()));
    ASSERT_NE(got.get(), nullptr);
    EXPECT_EQ(std::string(got->ifl, 32), std::string(32, 'L'));
    EXPECT_EQ(got->day, 24);
    EXPECT_EQ(got->month, 12);
}

// Failures, in both variants.
class ReadFailure : public testing::TestWithParam<const Variant*> {};

TEST_P(ReadFailure, ShortFixedHeader)
{
    const Variant& v = *GetParam();
    Bytes file = v1_file(Order::little);
    file.resize(511);
    for (auto [base, reader] : {std::pair{"read_header_2", v.read2}, {"read_header", v.read}}) {
        Read r(reader, file);
        EXPECT_EQ(r.rec.get(), nullptr);
        EXPECT_EQ(r.err, v.name(base) + ": read error for 512 bytes (fixed header)\n");
        EXPECT_EQ(r.texts.ort, nullptr);
        EXPECT_EQ(r.texts.kan, nullptr);
    }
    std::string err;
    Input in(file);
    err = stderr_of([&] { EXPECT_EQ(v.read1(in.get()), nullptr); });
    EXPECT_EQ(err, v.name("read_header_1") + ": read error for 512 bytes (fixed header)\n");
    Input empty(Bytes{});
    err = stderr_of([&] { EXPECT_EQ(v.read1(empty.get()), nullptr); });
    EXPECT_EQ(err, v.name("read_header_1") + ": read error for 512 bytes (fixed header)\n");
}

TEST_P(ReadFailure, WrongVersionByte)
{
    const Variant& v = *GetParam();
    Input in(v2_file(Order::little));
    std::string err = stderr_of([&] { EXPECT_EQ(v.read1(in.get()), nullptr); });
    EXPECT_EQ(err, v.name("read_header_1") + ": header is not Quenda version 1\n");

    Read r(v.read2, v1_file(Order::little));
    EXPECT_EQ(r.rec.get(), nullptr);
    EXPECT_EQ(r.err, v.name("read_header_2") + ": header is not Quenda version 2\n");
    EXPECT_EQ(r.texts.ort, nullptr);
    EXPECT_EQ(r.texts.kan, nullptr);
}

// A fixed block whose numbers this variant reads as stored: the native
// variant reads little-endian files, the other one big-endian files.
Bytes fixed_for(const Variant& v, std::int32_t anz, std::int8_t version)
{
    const Order o = &v == &native() ? Order::little : Order::big;
    return fixed_block(o, Extras::none, anz, version);
}

TEST_P(ReadFailure, DynamicPartShorterThanAnnounced)
{
    const Variant& v = *GetParam();
    Bytes file = fixed_for(v, 3, 2) + dynamic_part("a", "b");
    for (auto [base, reader] : {std::pair{"read_header_2", v.read2}, {"read_header", v.read}}) {
        Read r(reader, file);
        EXPECT_EQ(r.rec.get(), nullptr);
        EXPECT_EQ(r.err, v.name(base) + ": read error for dynamic part of header\n");
        EXPECT_EQ(r.texts.ort, nullptr);
        EXPECT_EQ(r.texts.kan, nullptr);
    }
}

TEST_P(ReadFailure, MissingTags)
{
    const Variant& v = *GetParam();
    // No orthographic tag: the record with both texts null.
    Bytes block(512, 0);
    put_text(block, 0, "or");    // a tag cut short is no tag
    put_text(block, 509, "ort"); // its NUL would lie behind the part
    for (auto [base, reader] : {std::pair{"read_header_2", v.read2}, {"read_header", v.read}}) {
        Read r(reader, fixed_for(v, 2, 2) + block);
        ASSERT_NE(r.rec.get(), nullptr);
        EXPECT_EQ(r.err, v.name(base) + ": can't find orthographic text\n");
        EXPECT_EQ(r.texts.ort, nullptr);
        EXPECT_EQ(r.texts.kan, nullptr);
    }
    // No canonical tag behind the orthographic text: that text is kept.
    block.assign(512, 0);
    put_text(block, 0, "ort\0text\0"s);
    put_text(block, 509, "kan"); // its NUL would lie behind the part
    Read r(v.read2, fixed_for(v, 2, 2) + block);
    ASSERT_NE(r.rec.get(), nullptr);
    EXPECT_EQ(r.err, v.name("read_header_2") + ": can't find canonical text\n");
    EXPECT_EQ(text(r.texts.ort), "text");
    EXPECT_EQ(r.texts.kan, nullptr);
    // read_header_2 on a header of one block: an empty dynamic part.
    Read r2(v.read2, fixed_for(v, 1, 2));
    ASSERT_NE(r2.rec.get(), nullptr);
    EXPECT_EQ(r2.err, v.name("read_header_2") + ": can't find orthographic text\n");
    EXPECT_EQ(r2.texts.ort, nullptr);
    EXPECT_EQ(r2.texts.kan, nullptr);
}

TEST_P(ReadFailure, TextWithoutNulIsCutAtEndOfPart)
{
    const Variant& v = *GetParam();
    Bytes block(512, 'o');
    put_text(block, 0, "ort\0"s);
    Read r(v.read, fixed_for(v, 2, 2) + block);
    ASSERT_NE(r.rec.get(), nullptr);
    EXPECT_EQ(text(r.texts.ort), std::string(508, 'o'));
    EXPECT_EQ(r.texts.kan, nullptr);
    EXPECT_EQ(r.err, v.name("read_header") + ": can't find canonical text\n");

    block.assign(512, 'k');
    put_text(block, 0, "ort\0\0kan\0"s);
    Read r2(v.read2, fixed_for(v, 2, 2) + block);
    ASSERT_NE(r2.rec.get(), nullptr);
    EXPECT_EQ(text(r2.texts.ort), "");
    EXPECT_EQ(text(r2.texts.kan), std::string(512 - 9, 'k'));
    EXPECT_EQ(r2.err, "");
}

TEST_P(ReadFailure, TagsFlushWithTheEndOfThePart)
{
    // A tag whose NUL is the part's last byte is found; its text is empty.
    const Variant& v = *GetParam();
    const struct {
        std::string head; // from the part's start
        std::string tail; // ending at the part's end
        const char* ort;
        const char* kan;
        const char* err;
    } cases[] = {
        {"ort\0abc\0"s, "kan\0"s, "abc", "", ""},
        {"ort\0"s, "kan\0"s, "", "", ""},
        {"", "ort\0"s, "", "(null)", ": can't find canonical text\n"},
    };
    for (const auto& c : cases) {
        Bytes block(512, 0);
        put_text(block, 0, c.head);
        put_text(block, 512 - c.tail.size(), c.tail);
        Read r(v.read, fixed_for(v, 2, 2) + block);
        ASSERT_NE(r.rec.get(), nullptr);
        EXPECT_EQ(text(r.texts.ort), c.ort) << c.head;
        EXPECT_EQ(text(r.texts.kan), c.kan) << c.head;
        EXPECT_EQ(r.err, *c.err ? v.name("read_header") + c.err : "") << c.head;
    }
}

TEST_P(ReadFailure, BlockCountBelowOne)
{
    const Variant& v = *GetParam();
    for (std::int32_t anz : {0, -1, INT_MIN}) {
        for (std::int8_t version : {1, 2}) {
            for (auto [base, reader] : {std::pair{"read_header_2", v.read2}, {"read_header", v.read}}) {
                if (version == 1 && reader == v.read2)
                    continue;
                errno = 0;
                Read r(reader, fixed_for(v, anz, version) + dynamic_part("a", "b"));
                EXPECT_EQ(r.rec.get(), nullptr) << anz;
                EXPECT_EQ(r.err,
                          v.name(base) + ": cannot allocate space for rest of header\n" + no_memory_line(v.name(base)))
                    << anz;
                EXPECT_EQ(r.texts.ort, nullptr);
                EXPECT_EQ(r.texts.kan, nullptr);
                EXPECT_EQ(alloc::calls(), 1) << "only the record was allocated";
            }
        }
    }
}

// A block count that claims more than the file holds: the reader asks for
// memory as the bytes arrive, so the file's size bounds what it takes,
// whatever the count says; it ends in the read error.
TEST_P(ReadFailure, BlockCountBeyondTheFileTakesMemoryByTheFile)
{
    const Variant& v = *GetParam();
    // 2^21 + 1 blocks: a part of 1 GiB.  (2^23 + 2 blocks): a part of
    // 2^32 + 512 bytes, which 32-bit sizes would wrap to one block, which the
    // file holds.
    for (std::int32_t anz : {(1 << 21) + 1, (1 << 23) + 2}) {
        for (auto [base, reader] : {std::pair{"read_header_2", v.read2}, {"read_header", v.read}}) {
            Read r(reader, fixed_for(v, anz, 2) + dynamic_part("a", "b") + std::string(70000, 'x'));
            EXPECT_EQ(r.rec.get(), nullptr) << anz;
            EXPECT_EQ(r.err, v.name(base) + ": read error for dynamic part of header\n") << anz;
            EXPECT_EQ(r.texts.ort, nullptr);
            std::size_t asked = 0;
            for (int i = 1; i < alloc::calls(); ++i)
                asked += alloc::size(i);
            EXPECT_LT(asked, std::size_t{1} << 20) << anz << ": the file holds 70 KB";
        }
    }
}

// A part larger than the machine's memory cannot be one allocation: it is
// refused as such, without asking for any of it.
TEST_P(ReadFailure, BlockCountBeyondTheMachinesMemory)
{
    const Variant& v = *GetParam();
    struct sysinfo si {};
    ASSERT_EQ(sysinfo(&si), 0);
    const double memory = (double(si.totalram) + double(si.totalswap)) * si.mem_unit;
    if (memory >= double(INT32_MAX) * 512)
        GTEST_SKIP() << "this machine has a terabyte of memory";
    for (auto [base, reader] : {std::pair{"read_header_2", v.read2}, {"read_header", v.read}}) {
        Read r(reader, fixed_for(v, INT32_MAX, 2) + dynamic_part("a", "b"));
        EXPECT_EQ(r.rec.get(), nullptr);
        EXPECT_EQ(r.err, v.name(base) + ": cannot allocate space for rest of header\n" + no_memory_line(v.name(base)));
        EXPECT_EQ(alloc::calls(), 1) << "only the record was allocated";
    }
}

// A header longer than one step of the reading: the texts near its end come
// through the growing buffer unchanged, and a failed step is a failed
// allocation.
TEST_P(ReadFailure, LongHeaderReadInSteps)
{
    const Variant& v = *GetParam();
    const std::int32_t blocks = 400; // 204 288 bytes of dynamic part
    const std::string lead(190000, 'z');
    const Bytes file = fixed_for(v, blocks, 2) + dynamic_part(sample_ort, sample_kan, blocks, lead);
    Read r(v.read, file);
    ASSERT_NE(r.rec.get(), nullptr);
    EXPECT_EQ(text(r.texts.ort), sample_ort);
    EXPECT_EQ(text(r.texts.kan), sample_kan);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.position, blocks * 512L);
    const int calls = alloc::calls(); // the record, the steps, the two texts
    ASSERT_GT(calls, 4) << "read in more than one step";
    for (int call = 2; call <= calls - 2; ++call) {
        alloc::fail_call(call);
        Read failed(v.read, file);
        EXPECT_EQ(failed.rec.get(), nullptr) << call;
        EXPECT_EQ(failed.err, v.name("read_header") + ": cannot allocate space for rest of header\n" +
                                  no_memory_line(v.name("read_header")))
            << call;
    }
}

TEST_P(ReadFailure, AllocationFailures)
{
    const Variant& v = *GetParam();
    const Bytes file = fixed_for(v, 2, 2) + dynamic_part(sample_ort, sample_kan);
    const std::string name = v.name("read_header");
    struct Case {
        int call;
        const char* what;
        bool record;
        bool ort;
    };
    for (Case c : {Case{1, "fixed header", false, false}, Case{2, "rest of header", false, false},
                   Case{3, "orthographic text", true, false}, Case{4, "canonical text", true, true}}) {
        alloc::fail_call(c.call);
        Read r(v.read, file);
        EXPECT_EQ(r.err, name + ": cannot allocate space for " + c.what + "\n" + no_memory_line(name));
        EXPECT_EQ(r.rec.get() != nullptr, c.record) << c.what;
        EXPECT_EQ(r.texts.ort != nullptr, c.ort) << c.what;
        EXPECT_EQ(r.texts.kan, nullptr) << c.what;
        if (c.ort) {
            EXPECT_EQ(text(r.texts.ort), sample_ort);
        }
    }
    alloc::fail_call(1);
    Input in(v1_file(Order::little));
    std::string err = stderr_of([&] {
        alloc::watch();
        Quenda_header_2* h = v.read1(in.get());
        alloc::stop();
        EXPECT_EQ(h, nullptr);
    });
    EXPECT_EQ(err, v.name("read_header_1") + ": cannot allocate space for fixed header\n" +
                       no_memory_line(v.name("read_header_1")));
}

INSTANTIATE_TEST_SUITE_P(BothVariants, ReadFailure, testing::Values(&sun_variant, &vms_variant),
                         [](const auto& info) { return std::string(info.param->suffix + 1); });

TEST(ByteReversal, ReversesInPlaceAndUndoes)
{
    unsigned char s[2] = {0x12, 0x34};
    shortvms2sun(s);
    EXPECT_EQ(s[0], 0x34);
    EXPECT_EQ(s[1], 0x12);
    shortvms2sun(s);
    EXPECT_EQ(s[0], 0x12);
    unsigned char l[4] = {1, 2, 3, 4};
    longvms2sun(l);
    EXPECT_EQ(Bytes(l, l + 4), (Bytes{4, 3, 2, 1}));
    longvms2sun(l);
    EXPECT_EQ(Bytes(l, l + 4), (Bytes{1, 2, 3, 4}));
}

} // namespace
