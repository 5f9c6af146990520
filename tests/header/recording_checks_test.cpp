// The recording checks: files laid out by the maker, read as a program reads
// them (header, size, samples), and every check at its threshold from both
// sides.
#include "tests/support/header_tests.h"
#include "header/info.h"

#include <sys/stat.h>

#include <memory>

namespace {

using namespace quenda_maker;
using quenda::recording_fault;

// A recording's problems as quenda-info and quenda-corpus find them.
std::vector<quenda::recording_problem> problems_of(const std::string& file)
{
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::tmpfile(), std::fclose);
    EXPECT_EQ(std::fwrite(file.data(), 1, file.size(), f.get()), file.size());
    std::fflush(f.get());
    char* ort = nullptr;
    char* kan = nullptr;
    std::unique_ptr<Quenda_header_2, void (*)(void*)> h(read_header_of_this_host(f.get(), &ort, &kan), std::free);
    std::free(ort);
    std::free(kan);
    if (!h)
        return {};
    const quenda::file_info i = quenda::describe_file(*h, static_cast<std::int64_t>(file.size()));
    quenda::signal_summary s;
    EXPECT_TRUE(quenda::scan_samples(f.get(), i, s));
    return quenda::check_recording(*h, i, s);
}

// A tone of the given amplitude around `offset`: samples alternately above
// and below it, so that their mean is the offset.
std::string tone(std::int16_t amplitude, std::size_t pairs, std::int16_t offset = 0)
{
    return samples_of({static_cast<std::int16_t>(offset + amplitude), static_cast<std::int16_t>(offset - amplitude)},
                      pairs);
}

TEST(RecordingChecks, EachCheckAtItsThreshold)
{
    using enum recording_fault;
    const std::string body = tone(2000, 300); // 600 samples: three blocks, the last one short
    const struct {
        const char* what;
        std::string file;
        std::vector<recording_fault> faults;
    } cases[] = {
        {"a sound recording", version1(3, body), {}},
        {"whole blocks", version1(4, sample_data(1024)), {}},
        {"a short last block", version1(4, sample_data(769)), {}},
        {"a block missing", version1(4, sample_data(768)), {truncated}},
        {"half of it", version1(64, tone(2000, 4096)), {truncated}},
        {"a sample more", version1(4, sample_data(1025)), {extra_samples}},
        {"more, version 2", version2(1, 2, "o", "k", sample_data(257)), {extra_samples}},
        {"an odd byte", version1(3, body + "\x01"), {odd_byte}},
        {"no samples", version1(0, ""), {no_samples}},
        {"one sample", version1(1, samples_of({500})), {}},
        {"no samples of two blocks", version1(2, ""), {truncated, no_samples}},
        {"an odd byte alone", version1(0, "\x01"), {odd_byte, no_samples}},
        {"rate below", version1(3, body, 999), {implausible_rate}},
        {"lowest rate", version1(3, body, 1000), {}},
        {"highest rate", version1(3, body, 384000), {}},
        {"rate above", version1(3, body, 384001), {implausible_rate}},
        {"two at full scale", version1(1, samples_of({0, 32767, 32767, 0}) + body.substr(0, 400)), {}},
        {"three at full scale", version1(1, samples_of({0, 32767, 32767, 32767}) + body.substr(0, 400)), {clipped}},
        {"three at negative full scale",
         version1(1, samples_of({-32768, -32768, -32768}) + body.substr(0, 400)),
         {clipped}},
        {"both signs", version1(1, samples_of({32767, -32768, -32767}) + body.substr(0, 400)), {clipped}},
        {"three at -32767", version1(1, samples_of({-32767, -32767, -32767}) + body.substr(0, 400)), {clipped}},
        {"three just below full", version1(1, samples_of({32766, 32766, 32766}) + body.substr(0, 400)), {}},
        {"silent", version1(3, tone(16, 300)), {silent}},
        {"silent, one sample louder", version1(1, tone(16, 100) + samples_of({-17})), {}},
        {"all zero", version1(3, tone(0, 300)), {silent}},
        {"offset at the bound", version1(3, tone(2000, 300, 1024)), {}},
        {"offset beyond", version1(3, tone(2000, 300, 1025)), {dc_offset}},
        {"negative offset at the bound", version1(3, tone(2000, 300, -1024)), {}},
        {"negative offset beyond", version1(3, tone(2000, 300, -1025)), {dc_offset}},
        {"everything",
         version1(8, samples_of({32767}, 3) + "\x01", 0),
         {truncated, odd_byte, implausible_rate, clipped, dc_offset}},
    };
    for (const auto& c : cases) {
        std::vector<recording_fault> got;
        for (const quenda::recording_problem& p : problems_of(c.file))
            got.push_back(p.fault);
        EXPECT_EQ(got, c.faults) << c.what;
    }
}

TEST(RecordingChecks, ProblemsInWords)
{
    std::vector<std::string> words;
    for (const std::string& file : {version1(64, tone(2000, 4096), 999) + "\x01", version1(1, samples_of({-32768}, 5)),
                                    version1(1, tone(3, 128)), version1(1, tone(100, 128, -2000)), version1(2, "")})
        for (const quenda::recording_problem& p : problems_of(file))
            words.push_back(p.words);
    EXPECT_EQ(words, (std::vector<std::string>{
                         "8192 samples in the file, 16384 announced (nspbk 64)",
                         "an odd byte after the last sample",
                         "isf 999 is not a plausible sample rate (1000 to 384000)",
                         "clipped: 5 samples in a row at full scale (3 or more are clipping)",
                         "a DC offset of -32768.0 (the mean sample; beyond 1024 is large)",
                         "silent: no sample louder than 16 (of 32767)",
                         "a DC offset of -2000.0 (the mean sample; beyond 1024 is large)",
                         "0 samples in the file, 512 announced (nspbk 2)",
                         "no samples after the header",
                     }));
}

// Samples split between the pieces the scan is given add up as whole.
TEST(RecordingChecks, ScanTakesSamplesInAnyPieces)
{
    const std::string bytes = samples_of({5, -32768, -32768, -32768, 300, 32767, -7});
    quenda::signal_scan whole;
    whole.add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    quenda::signal_scan bytewise;
    for (const char b : bytes)
        bytewise.add(reinterpret_cast<const unsigned char*>(&b), 1);
    for (const quenda::signal_summary& s : {whole.summary(), bytewise.summary()}) {
        EXPECT_EQ(s.samples, 7);
        EXPECT_EQ(s.peak, 32768);
        EXPECT_EQ(s.clipped_run, 3);
        EXPECT_DOUBLE_EQ(s.mean, (5 - 3 * 32768 + 300 + 32767 - 7) / 7.0);
    }
}

// A file that ends before its samples do (it shrank after its size was
// taken) is a failed scan.
TEST(RecordingChecks, AShorterFileIsAFailedScan)
{
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::tmpfile(), std::fclose);
    const std::string file = version1(1, tone(2000, 64));
    std::fwrite(file.data(), 1, file.size(), f.get());
    quenda::file_info i;
    i.header_bytes = 512;
    i.samples = 129;
    quenda::signal_summary s;
    errno = 0;
    EXPECT_FALSE(quenda::scan_samples(f.get(), i, s));
    EXPECT_EQ(errno, EIO);
    i.samples = 128;
    EXPECT_TRUE(quenda::scan_samples(f.get(), i, s));
    EXPECT_EQ(s.samples, 128);
}

} // namespace
