// Writers: byte-exact output against hand-laid files, the block count they
// set, padding, refusals, short writes, and round trips through the readers.
#include "tests/support/header_fixtures.h"

using namespace std::string_literals;

namespace {

struct Written {
    int result = -1;
    Bytes bytes;
    std::string err;
};

Written write_with(int (*writer)(FILE*, Quenda_header_2*, const char*, const char*), Quenda_header_2* h,
                   const char* ort, const char* kan, std::size_t limit = SIZE_MAX)
{
    Output out(limit);
    Written w;
    w.err = stderr_of([&] { w.result = writer(out.get(), h, ort, kan); });
    w.bytes = out.bytes();
    return w;
}

Written write1_with(int (*writer)(FILE*, Quenda_header_2*), Quenda_header_2* h, std::size_t limit = SIZE_MAX)
{
    Output out(limit);
    Written w;
    w.err = stderr_of([&] { w.result = writer(out.get(), h); });
    w.bytes = out.bytes();
    return w;
}

TEST(Write, NativeVariantLaysTheFixtures)
{
    // Reserved fields and not_usedb of the record never reach the file.
    Record h;
    fill_sample(h.get(), 5, 1);
    soil_reserved(h.get());
    Written w = write1_with(native().write1, h.get());
    EXPECT_EQ(w.result, 1);
    EXPECT_EQ(w.bytes, v1_file(Order::little));
    EXPECT_EQ(h->anz_header, 1);
    EXPECT_EQ(w.err, "");

    fill_sample(h.get(), 5, 1);
    w = write_with(native().write, h.get(), "ignored", "ignored");
    EXPECT_EQ(w.result, 1);
    EXPECT_EQ(w.bytes, v1_file(Order::little)) << "version 1 writes the fixed header alone";
    EXPECT_EQ(h->anz_header, 1);

    fill_sample(h.get(), 9, 2);
    w = write_with(native().write, h.get(), sample_ort.c_str(), sample_kan.c_str());
    EXPECT_EQ(w.result, 1);
    EXPECT_EQ(w.bytes, v2_file(Order::little));
    EXPECT_EQ(h->anz_header, 2);
    EXPECT_EQ(w.err, "");
}

TEST(Write, OtherVariantReversesEveryNumber)
{
    Record h;
    fill_sample(h.get(), 1, 1);
    const Order other = Order::big; // what the other variant writes on either host
    EXPECT_EQ(write1_with(foreign().write1, h.get()).bytes, v1_file(other));
    fill_sample(h.get(), 2, 2);
    Written w = write_with(foreign().write, h.get(), sample_ort.c_str(), sample_kan.c_str());
    EXPECT_EQ(w.bytes, fixed_block(other, Extras::none, 2, 2) + dynamic_part(sample_ort, sample_kan));
    EXPECT_EQ(h->nspbk, 74565) << "the record's own numbers are never reversed";
}

TEST(Write, BlockCountAndPadding)
{
    struct Case {
        std::size_t lo, lc;
        std::int32_t anz;
        std::size_t padding;
    };
    for (const Variant* v : {&sun_variant, &vms_variant}) {
        for (Case c : {Case{0, 0, 2, 488}, Case{488, 0, 2, 0}, Case{200, 288, 2, 0}, Case{489, 0, 3, 511},
                       Case{0, 489, 3, 511}, Case{976, 24, 3, 0}}) {
            Record h;
            fill_sample(h.get(), 77, 2);
            const std::string ort(c.lo, 'o'), kan(c.lc, 'k');
            Written w = write_with(v->write, h.get(), c.lo ? ort.c_str() : nullptr, c.lc ? kan.c_str() : nullptr);
            EXPECT_EQ(w.result, 1);
            EXPECT_EQ(h->anz_header, c.anz) << c.lo << "+" << c.lc;
            ASSERT_EQ(w.bytes.size(), std::size_t(c.anz) * 512) << c.lo << "+" << c.lc;
            const std::size_t used = 536 + c.lo + c.lc;
            EXPECT_EQ(used + c.padding, w.bytes.size());
            EXPECT_EQ(Bytes(w.bytes.begin() + 512, w.bytes.begin() + used),
                      "ort\0"s + ort + "\0oend::\0"s + "kan\0"s + kan + "\0kend::\0"s);
            EXPECT_EQ(Bytes(w.bytes.begin() + used, w.bytes.end()), Bytes(c.padding, 0));
        }
    }
}

TEST(Write, OtherVersions)
{
    for (const Variant* v : {&sun_variant, &vms_variant}) {
        Record h;
        fill_sample(h.get(), 7, 3);
        Written w = write_with(v->write, h.get(), "ort", "kan");
        EXPECT_EQ(w.result, 1);
        EXPECT_EQ(w.bytes.size(), 512u) << "the fixed header alone";
        EXPECT_EQ(h->anz_header, 7);
        EXPECT_EQ(w.bytes[293], 3);

        Record before;
        std::memcpy(before.get(), h.get(), sizeof(Quenda_header_2));
        w = write1_with(v->write1, h.get());
        EXPECT_EQ(w.result, 0);
        EXPECT_EQ(w.err, v->name("write_header_1") + ": header is not Quenda version 1\n");
        EXPECT_TRUE(w.bytes.empty());
        EXPECT_TRUE(same_record(h.get(), before.get()));

        fill_sample(h.get(), 7, 2);
        w = write1_with(v->write1, h.get());
        EXPECT_EQ(w.err, v->name("write_header_1") + ": header is not Quenda version 1\n");
        EXPECT_EQ(h->anz_header, 7);
    }
}

TEST(Write, NullRecord)
{
    for (const Variant* v : {&sun_variant, &vms_variant}) {
        Written w = write1_with(v->write1, nullptr);
        EXPECT_EQ(w.result, 0);
        EXPECT_EQ(w.err, v->name("write_header_1") + ": header structure empty\n");
        w = write_with(v->write, nullptr, "a", "b");
        EXPECT_EQ(w.result, 0);
        EXPECT_EQ(w.err, v->name("write_header") + ": header structure empty\n");
        EXPECT_TRUE(w.bytes.empty());
    }
}

TEST(Write, ShortWrites)
{
    for (const Variant* v : {&sun_variant, &vms_variant}) {
        const std::string first = v->name("write_header") + ": cannot write first item\n";
        const std::string rest = v->name("write_header") + ": cannot write header\n";
        for (std::size_t limit : {0, 1, 19, 20, 21, 300, 511, 512, 515, 600, 1023, 1024}) {
            Record h;
            fill_sample(h.get(), 9, 2);
            Written w = write_with(v->write, h.get(), sample_ort.c_str(), sample_kan.c_str(), limit);
            EXPECT_EQ(h->anz_header, 2) << "set before anything is written";
            EXPECT_EQ(w.bytes.size(), limit);
            EXPECT_EQ(w.result, limit == 1024 ? 1 : 0) << limit;
            EXPECT_EQ(w.err, limit < 20 ? first : limit < 1024 ? rest : "") << limit;
        }
        for (std::size_t limit : {0, 19, 20, 511, 512}) {
            Record h;
            fill_sample(h.get(), 1, 1);
            Written w = write1_with(v->write1, h.get(), limit);
            EXPECT_EQ(w.result, limit == 512 ? 1 : 0) << limit;
            const std::string name = v->name("write_header_1");
            EXPECT_EQ(w.err, limit < 20    ? name + ": cannot write first item\n"
                             : limit < 512 ? name + ": cannot write header\n"
                                           : "")
                << limit;
        }
    }
}

TEST(Write, FullLengthIfl)
{
    Record h;
    fill_sample(h.get(), 1, 1);
    std::memset(h->ifl, 'L', 32); // no terminator; day follows in the record
    Written w = write1_with(native().write1, h.get());
    Bytes want = v1_file(Order::little);
    put_text(want, 256, std::string(32, 'L'));
    EXPECT_EQ(w.bytes, want);
}

// Everything a writer puts down comes back through the reader of the same
// variant: the record (less what is never written) and both texts.
TEST(Write, RoundTrips)
{
    struct Texts2 {
        const char* ort;
        const char* kan;
        const char* ort_back;
        const char* kan_back;
    };
    for (const Variant* v : {&sun_variant, &vms_variant}) {
        for (Texts2 t : {Texts2{"guten tag kan", "kan", "guten tag kan", "kan"}, Texts2{nullptr, nullptr, "", ""},
                         Texts2{"", "x", "", "x"}}) {
            Record h;
            fill_sample(h.get(), 0, 2);
            soil_reserved(h.get());
            Output out;
            ASSERT_EQ(v->write(out.get(), h.get(), t.ort, t.kan), 1);
            Input in(out.bytes());
            Texts back;
            Record got(v->read(in.get(), &back.ort, &back.kan));
            ASSERT_NE(got.get(), nullptr);
            Record want;
            fill_sample(want.get(), h->anz_header, 2);
            EXPECT_TRUE(same_record(got.get(), want.get()));
            ASSERT_NE(back.ort, nullptr);
            ASSERT_NE(back.kan, nullptr);
            EXPECT_STREQ(back.ort, t.ort_back);
            EXPECT_STREQ(back.kan, t.kan_back);
        }
        Record h;
        fill_sample(h.get(), 3, 1);
        Output out;
        ASSERT_EQ(v->write1(out.get(), h.get()), 1);
        Input in(out.bytes());
        Record got(v->read1(in.get()));
        ASSERT_NE(got.get(), nullptr);
        EXPECT_TRUE(same_record(got.get(), h.get()));
    }
}

} // namespace
