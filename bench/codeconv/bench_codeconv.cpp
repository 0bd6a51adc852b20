// Throughput of the GB2312 <-> Big5 conversion beside glibc iconv on the same bytes.
//
// The text is 4 MiB of SQL-like lines mixing ASCII with GB2312 hanzi and symbols, built
// from a fixed seed so that every run measures the same bytes (mixed_text.h). iconv converts character by
// character and fails on every simplified character that Big5 lacks (国, 们, ...), so it
// runs in two ways: with //IGNORE, where glibc drops such characters itself, and with plain
// "BIG5" where the caller meets EILSEQ, writes two blanks like the tables do, and goes on.

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

#include "codeconv/code_converter.h"
#include "mixed_text.h"

namespace {

constexpr std::size_t kTextBytes = 4 << 20;

const std::string& MixedText() {
  static const std::string text = bench::BuildMixedText(kTextBytes);
  return text;
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : descriptor_(iconv_open(to, from)) {
    if (descriptor_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error("iconv_open failed");
    }
  }
  ~Iconv() { iconv_close(descriptor_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts all of text into out; an input sequence that iconv refuses becomes two blanks.
  std::size_t Convert(std::string_view text, std::string& out) {
    iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data());
    std::size_t in_left = text.size();
    char* write = out.data();
    std::size_t out_left = out.size();
    while (in_left > 0) {
      if (iconv(descriptor_, &in, &in_left, &write, &out_left) != static_cast<std::size_t>(-1)) {
        break;
      }
      if (errno != EILSEQ && errno != EINVAL) {
        throw std::runtime_error("iconv ran out of output space");
      }
      const std::size_t skip = std::min<std::size_t>(in_left, 2);
      in += skip;
      in_left -= skip;
      for (std::size_t i = 0; i < skip && out_left > 0; ++i, --out_left) {
        *write++ = ' ';
      }
    }
    return out.size() - out_left;
  }

 private:
  iconv_t descriptor_;
};

void BM_GBToBig5(benchmark::State& state) {
  const std::string& text = MixedText();
  for (auto _ : state) {
    std::string converted = makeddl::codeconv::GBToBig5(text);
    benchmark::DoNotOptimize(converted.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_Big5ToGB(benchmark::State& state) {
  const std::string& text = MixedText();
  for (auto _ : state) {
    std::string converted = makeddl::codeconv::Big5ToGB(text);
    benchmark::DoNotOptimize(converted.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void RunIconv(benchmark::State& state, const char* target) {
  const std::string& text = MixedText();
  Iconv converter(target, "GB2312");
  std::string out(text.size() * 2, '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(converter.Convert(text, out));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_IconvGB2312ToBig5Ignore(benchmark::State& state) { RunIconv(state, "BIG5//IGNORE"); }
void BM_IconvGB2312ToBig5Blanks(benchmark::State& state) { RunIconv(state, "BIG5"); }

BENCHMARK(BM_GBToBig5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Big5ToGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IconvGB2312ToBig5Ignore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IconvGB2312ToBig5Blanks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
