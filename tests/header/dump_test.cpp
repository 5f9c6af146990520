// The dump: every line to the byte.
#include "tests/support/header_fixtures.h"

namespace {

std::string dump_of(const Quenda_header_2* h)
{
    testing::internal::CaptureStdout();
    disp_header_v2(h);
    return testing::internal::GetCapturedStdout();
}

TEST(Dump, EveryLine)
{
    Record h;
    fill_sample(h.get(), 3, 2);
    h->not_used1[0] = 11;
    h->not_used1[1] = 99; // only the first element shows
    h->not_used2[0] = -12;
    h->not_used3[0] = 13;
    h->not_used4 = 14;
    h->not_used5 = -15;
    h->not_used6 = 16;
    h->not_used7 = 17;
    h->not_used8[0] = 18;
    h->not_useda[0] = 19;
    h->sprk[0] = '\0'; // prints as an empty string
    std::memcpy(h->kenn2, "xy", 2);
    std::memset(h->ifl, 'I', 32); // unterminated: day, month follow
    h->day = -1;
    h->year = -44;
    std::memcpy(h->not_usedb, "0123456789", 10); // unterminated at the record's end
    const std::string want = "structure Quenda_header_2:\n"
                             "not_used1[0]:       11\n"
                             "nspbk:              74565\n"
                             "anz_header:         3\n"
                             "not_used2[0]:       -12\n"
                             "sprk:               \n"
                             "swdh:               -2\n"
                             "ifld1[0]:           16909060\n"
                             "not_used3[0]:       13\n"
                             "kenn1[2]:           k1\n"
                             "not_used4: 14\n"
                             "kenn2[2]:           xy\n"
                             "not_used5: -15\n"
                             "kenn3[2]:           k3\n"
                             "not_used6: 16\n"
                             "kenn4[2]:           k4\n"
                             "not_used7:          17\n"
                             "not_used8[0]:       18\n"
                             "isf:                16000\n"
                             "flagtype:          168496141\n"
                             "flaginit:          -1\n"
                             "ifl[32]:            IIIIIIIIIIIIIIIIIIIIIIIIIIIIIIII\n"
                             "day:                -1\n"
                             "month:              12\n"
                             "year:               -44\n"
                             "sex:                m\n"
                             "version:            2\n"
                             "adc_bits:           16\n"
                             "words:              4660\n"
                             "not_useda[0]:       19\n"
                             "wdh:                -300\n"
                             "abs_ampl:           32767\n"
                             "not_usedb:          0123456789\n";
    EXPECT_EQ(dump_of(h.get()), want);
}

TEST(Dump, FreshVersion1Record)
{
    Input in(v1_file(Order::little, Extras::junk));
    Record h(native().read1(in.get()));
    ASSERT_NE(h.get(), nullptr);
    const std::string out = dump_of(h.get());
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 33);
    for (const char* line :
         {"\nnot_used1[0]:       0\n", "\nnot_used4: 0\n", "\nnot_useda[0]:       0\n", "\nversion:            1\n",
          "\nsprk:               de\n", "\nnot_usedb:          abcde\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line;
}

} // namespace
