// encodeFromUtf8 to GBK beside one plain iconv call over the same UTF-8 text, on the two kinds
// of text the tool encodes: INSERT lines, mostly ASCII with a few Chinese characters, and
// Chinese text with short ASCII words between (mixed_text.h, decoded). 4 MiB each.

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <stdexcept>
#include <string>

#include "../codeconv/mixed_text.h"
#include "common/text_codec.h"

namespace {

constexpr std::size_t kTextBytes = 4 << 20;

std::string insertLines() {
  std::string text;
  for (int n = 0; text.size() < kTextBytes; ++n)
    text += "INSERT INTO big (id,name,amount,created,ratio,label) VALUES (" + std::to_string(n) + ",'name " +
            std::to_string(n) + "'," + std::to_string(n / 100.0) + ",'2024-01-15 13:45:30.500'," +
            std::to_string(n / 7.0) + ",N'标签" + std::to_string(n % 10) + "')\r\n";
  return text;
}

std::string chineseText() { return makeddl::decodeToUtf8(bench::BuildMixedText(kTextBytes), makeddl::Encoding::Gbk); }

void encode(benchmark::State& state, const std::string& text) {
  for (auto _ : state) benchmark::DoNotOptimize(makeddl::encodeFromUtf8(text, makeddl::Encoding::Gbk).data());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void plainIconv(benchmark::State& state, const std::string& text) {
  iconv_t converter = iconv_open("GBK", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  std::string out(text.size(), '\0');
  for (auto _ : state) {
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* write = out.data();
    std::size_t outLeft = out.size();
    if (iconv(converter, &in, &inLeft, &write, &outLeft) == static_cast<std::size_t>(-1))
      throw std::runtime_error("iconv stopped");
    benchmark::DoNotOptimize(out.data());
  }
  iconv_close(converter);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

const std::string& insertText() {
  static const std::string text = insertLines();
  return text;
}
const std::string& chinese() {
  static const std::string text = chineseText();
  return text;
}

void BM_EncodeInsertLines(benchmark::State& state) { encode(state, insertText()); }
void BM_IconvInsertLines(benchmark::State& state) { plainIconv(state, insertText()); }
void BM_EncodeChineseText(benchmark::State& state) { encode(state, chinese()); }
void BM_IconvChineseText(benchmark::State& state) { plainIconv(state, chinese()); }

BENCHMARK(BM_EncodeInsertLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IconvInsertLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeChineseText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IconvChineseText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
