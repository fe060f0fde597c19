// The benchmark inputs: a deterministic stream of object records, and the
// three ways of spelling them that the benchmarks compare (the varied form a
// person writes, the writer's canonical form, and an INI file of the same
// information). The generator program and the benchmarks share this code, so
// the write benchmark feeds the writer exactly the records that the read
// benchmark reads, without parsing anything.
#ifndef CKP_BENCH_RECORDS_HPP
#define CKP_BENCH_RECORDS_HPP

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// Raised whenever the generated text changes, so that stale inputs are
// regenerated.
inline constexpr int kFormatVersion = 2;

// xorshift64*: fixed, portable and identical on every platform, unlike the
// distributions of <random>.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    std::uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    // Uniform enough in [0, n) for n far below 2^32.
    unsigned below(unsigned n) { return static_cast<unsigned>((next() >> 32) % n); }
    bool chance(unsigned percent) { return below(100) < percent; }

  private:
    std::uint64_t state_;
};

// A batch of records held compactly: every string lives NUL-terminated in
// one pool, so 100 MB of records cost little more than their bytes.
struct RecordSet {
    static constexpr std::uint32_t kNoValue = 0xFFFFFFFFu;
    struct Prop {
        std::uint32_t name;
        std::uint32_t value; // kNoValue for a flag property
    };
    struct Record {
        std::uint32_t path;
        std::uint32_t firstProp;
        std::uint32_t propCount;
    };

    std::vector<char> pool;
    std::vector<Prop> props;
    std::vector<Record> records;

    const char* str(std::uint32_t at) const { return pool.data() + at; }
    std::uint32_t add(const std::string& s);
    void clear();
};

// What a reader must find in a generated file.
struct Counts {
    std::uint64_t records = 0;  // object records
    std::uint64_t props = 0;    // properties of object records
    std::uint64_t flags = 0;    // properties without value
    std::uint64_t comments = 0; // comment and blank lines (records of their own)
};

// The seed of the record files; the setup files use their own generator.
inline constexpr std::uint64_t kRecordSeed = 20261206;

// Appends the next record of the stream to `set`.
class RecordStream {
  public:
    explicit RecordStream(std::uint64_t seed) : rng_(seed) {}
    void next(RecordSet& set);
    Rng& rng() { return rng_; }

  private:
    Rng rng_;
    std::uint64_t index_ = 0;
};

// The header line that the writer produces.
inline constexpr const char* kHeaderLine = "WRXCHECKPOINT=\"1.0\"\n";

// Spellings of record r of `set`, appended to `out`.
// Varied: blanks, continuation lines, trailing comments and escapes chosen by
// `rng`; comment and blank lines before the record are counted in `counts`.
void appendVaried(const RecordSet& set, std::size_t r, Rng& rng, std::string& out, Counts& counts);
// Canonical: what ckpCreateObj + ckpPutProp + ckpPuts write.
void appendCanonical(const RecordSet& set, std::size_t r, std::string& out);
// INI: a section named by the path, one `name=value` line per property.
void appendIni(const RecordSet& set, std::size_t r, std::string& out);

// Entry i of a setup file of n entries, written in canonical form (sorted
// entry names, sorted property names).
void appendSetupEntry(std::size_t i, std::string& out);

// File helpers for the benchmarks and the generator.
bool readWholeFile(const std::string& path, std::string& out);
bool writeWholeFile(const std::string& path, const std::string& data);
long long fileSize(const std::string& path);

} // namespace bench

#endif
