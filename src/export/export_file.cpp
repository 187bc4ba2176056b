#include <algorithm>

#include "export.h"

namespace lorelist {

namespace {

// The export gave up at the user's word.
struct Cancelled {};

// Puts the export into the file, telling progress every megabyte.
class FileExportSink : public ExportSink {
 public:
  FileExportSink(OutputFile& out, uint64_t expected, const std::function<bool(double)>& progress)
      : out_(out), expected_(std::max<uint64_t>(expected, 1)), progress_(progress) {}
  void Write(std::string_view text) override {
    out_.Put(text);
    written_ += text.size();
    if (progress_ && written_ >= next_) {
      next_ = written_ + kEvery;
      const double share = std::min(0.99, static_cast<double>(written_) / expected_);
      if (!progress_(share)) throw Cancelled();
    }
  }

 private:
  static constexpr uint64_t kEvery = 1 << 20;
  OutputFile& out_;
  uint64_t expected_;
  const std::function<bool(double)>& progress_;
  uint64_t written_ = 0;
  uint64_t next_ = 0;
};

}  // namespace

SaveResult ExportToFile(const Database& db, ExportFormat format, std::string_view source,
                        const std::string& path, const std::function<bool(double)>& progress) {
  // About what the exports of generated databases weigh against the file.
  const double weight = format == ExportFormat::kHtml ? 3.7 : 2.8;
  const auto expected = static_cast<uint64_t>(static_cast<double>(db.disk.size) * weight);
  return WriteFileSafely(path, [&](OutputFile& out) -> std::string {
    FileExportSink sink(out, expected, progress);
    try {
      if (format == ExportFormat::kHtml)
        ExportHtml(db, source, sink);
      else
        ExportMarkdown(db, source, sink);
    } catch (const Cancelled&) {
      return "cancelled";
    }
    if (progress) progress(1.0);
    return {};
  });
}

}  // namespace lorelist
