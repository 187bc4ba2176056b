#include "file_format.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace lorelist {

namespace {
constexpr size_t kBreakAt = 70;

struct PhysicalLine {
  size_t offset, length;  // within the batch's bytes, without the line end
};
}  // namespace

// Bytes read, with the physical lines found in them; the unfinished line at
// their end is carried to the next batch.
struct LineReader::Batch {
  std::unique_ptr<char[]> bytes;
  size_t capacity = 0;
  size_t end = 0;        // bytes held
  size_t lineStart = 0;  // where the unfinished line begins
  std::vector<PhysicalLine> lines;
  bool last = false;  // the file ends with these lines
  bool utf8 = false;  // its lines are all UTF-8, as the reading side found
};

// The reading side: reads, sums and finds line ends. On its own thread it
// keeps a few batches ready; on one core the reader calls it in turn.
struct LineReader::Ahead {
  static constexpr size_t kReady = 3;  // batches read ahead at most

  int fd;
  size_t chunk;
  bool utf8 = false;  // the file is read as UTF-8 even without the mark
  Checksum sum;
  Utf8Sniffer sniffer;
  int error = 0;
  bool atEnd = false;
  bool started = false;  // the file's first bytes were read
  bool marked = false;   // they were the byte-order mark, which no line holds
  std::unique_ptr<Batch> current;

  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::unique_ptr<Batch>> ready;
  std::vector<std::unique_ptr<Batch>> spare;  // handed back, to be read into again
  bool drain = false, cancel = false;
  // The file's last batch was made: batches handed back are freed, not kept,
  // since nothing more is read into them and loading peaks at its end.
  bool madeLast = false;

  void HandBack(std::unique_ptr<Batch> done) {
    if (done && !madeLast) spare.push_back(std::move(done));
  }
  void MadeLast() {
    madeLast = true;
    spare.clear();
  }

  Ahead(int fd, size_t chunk) : fd(fd), chunk(chunk) { current = Fresh(nullptr, 0); }

  // A batch holding the unfinished line [from, from + size).
  std::unique_ptr<Batch> Fresh(const char* from, size_t size) {
    std::unique_ptr<Batch> batch;
    {
      std::lock_guard lock(mutex);
      if (!spare.empty()) {
        batch = std::move(spare.back());
        spare.pop_back();
      }
    }
    if (!batch) batch = std::make_unique<Batch>();
    const size_t needed = size + chunk;
    if (batch->capacity < needed) {
      batch->capacity = std::max(needed, 2 * chunk);
      batch->bytes = std::make_unique_for_overwrite<char[]>(batch->capacity);
    }
    if (size) std::memcpy(batch->bytes.get(), from, size);
    batch->end = size;
    batch->lineStart = 0;
    batch->lines.clear();
    batch->last = false;
    return batch;
  }

  // Reads up to size bytes into at and takes them into the sum: the count,
  // 0 at the end of the file or after a failed read (whose errno is kept).
  size_t ReadSome(char* at, size_t size) {
    for (;;) {
      const ssize_t got = ::read(fd, at, size);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        if (got < 0) error = errno;
        atEnd = true;
        return 0;
      }
      sum.Add(at, static_cast<size_t>(got));
      // A marked file is UTF-8 by its mark: nothing to guess.
      if (!marked) sniffer.Add(at, static_cast<size_t>(got));
      return static_cast<size_t>(got);
    }
  }

  // Reads until a batch holds a whole line, or the file ends.
  std::unique_ptr<Batch> Produce() {
    Batch& b = *current;
    for (;;) {
      if (b.capacity - b.end < chunk) {
        // A line longer than the buffer: grow it, keeping what was read.
        auto bigger = std::make_unique_for_overwrite<char[]>(b.capacity * 2);
        std::memcpy(bigger.get(), b.bytes.get(), b.end);
        b.bytes = std::move(bigger);
        b.capacity *= 2;
      }
      char* at = b.bytes.get() + b.end;
      const size_t size = ReadSome(at, chunk);
      if (size == 0) {
        // No line end here: a CR not followed by LF is part of the line.
        if (b.lineStart < b.end) b.lines.push_back({b.lineStart, b.end - b.lineStart});
        b.last = true;
        CheckUtf8(b, b.end);
        return std::move(current);
      }
      if (!started) {
        // The first batch holds the file from its start, read in pieces of
        // any size: the mark is known once three bytes are, or fewer differ.
        const std::string_view head(b.bytes.get(), std::min(b.end + size, kByteOrderMark.size()));
        started = head.size() == kByteOrderMark.size() || !kByteOrderMark.starts_with(head);
        marked = head == kByteOrderMark;
        if (marked) b.lineStart = kByteOrderMark.size();
      }
      const char* data = b.bytes.get();
      for (const char *scan = at, *end = at + size;;) {
        const auto* nl = static_cast<const char*>(std::memchr(scan, '\n', end - scan));
        if (!nl) break;
        size_t length = static_cast<size_t>(nl - data) - b.lineStart;
        if (length > 0 && nl[-1] == '\r') --length;
        b.lines.push_back({b.lineStart, length});
        b.lineStart = static_cast<size_t>(nl - data) + 1;
        scan = nl + 1;
      }
      b.end += size;
      if (!b.lines.empty()) {
        CheckUtf8(b, b.lineStart);
        auto full = std::move(current);
        current = Fresh(full->bytes.get() + full->lineStart, full->end - full->lineStart);
        return full;
      }
    }
  }

  // Where lines must be UTF-8, finds whether all of a batch's are, here
  // where there is time to spare: the caller then checks only the lines of
  // batches that are not.
  void CheckUtf8(Batch& b, size_t end) {
    b.utf8 = false;
    if (!marked && !utf8) return;
    const size_t begin = b.lines.empty() ? end : b.lines.front().offset;
    b.utf8 = IsValidUtf8(std::string_view(b.bytes.get() + begin, end - begin));
  }

  void DrainRest() {
    char buffer[1 << 16];
    while (!atEnd) ReadSome(buffer, sizeof buffer);
  }

  void Run() {
    for (;;) {
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return cancel || drain || ready.size() < kReady; });
        if (cancel) return;
        if (drain) break;
      }
      std::unique_ptr<Batch> batch = Produce();
      const bool last = batch->last;
      {
        std::lock_guard lock(mutex);
        ready.push_back(std::move(batch));
        if (last) MadeLast();
      }
      changed.notify_all();
      if (last) return;
    }
    DrainRest();
  }

  // The next batch for the caller, who hands back the one it is done with.
  std::unique_ptr<Batch> Take(std::unique_ptr<Batch> done) {
    if (!thread.joinable()) {
      HandBack(std::move(done));
      std::unique_ptr<Batch> batch = Produce();
      if (batch->last) MadeLast();
      return batch;
    }
    std::unique_ptr<Batch> batch;
    {
      std::unique_lock lock(mutex);
      HandBack(std::move(done));
      changed.wait(lock, [&] { return !ready.empty(); });
      batch = std::move(ready.front());
      ready.pop_front();
    }
    changed.notify_all();
    if (batch->last) thread.join();  // all is read: the sum is final
    return batch;
  }

  void Stop(bool drainFirst) {
    if (thread.joinable()) {
      {
        std::lock_guard lock(mutex);
        (drainFirst ? drain : cancel) = true;
      }
      changed.notify_all();
      thread.join();
    } else if (drainFirst) {
      DrainRest();
    }
  }
};

LineReader::LineReader(int fd, Threads threads, size_t chunk, bool utf8)
    : ahead_(std::make_unique<Ahead>(fd, chunk)) {
  ahead_->utf8 = utf8;
  struct stat st;
  // A file of one chunk or less is not worth a thread.
  if (threads == Threads::kAsTheMachineHas && std::thread::hardware_concurrency() > 1 &&
      ::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) > chunk) {
    try {
      ahead_->thread = std::thread([a = ahead_.get()] { a->Run(); });
    } catch (const std::system_error&) {
      // No thread to be had: read on this one.
    }
  }
}

LineReader::~LineReader() {
  ahead_->Stop(false);
}

int LineReader::Error() const {
  return ahead_->error;
}
const Checksum& LineReader::Sum() const {
  return ahead_->sum;
}
bool LineReader::LooksLikeUtf8() const {
  return !ahead_->marked && ahead_->sniffer.LooksLikeUtf8();
}
bool LineReader::Marked() const {
  return ahead_->marked;
}

void LineReader::Drain() {
  if (batch_ && batch_->last) return;
  ahead_->Stop(true);
}

bool LineReader::NextBatch() {
  if (batch_ && batch_->last) return false;
  batch_ = ahead_->Take(std::move(batch_));
  next_ = 0;
  return true;
}

bool LineReader::ReadPhysical(std::string_view& line) {
  while (!batch_ || next_ == batch_->lines.size())
    if (!NextBatch()) return false;
  const PhysicalLine& l = batch_->lines[next_++];
  line = std::string_view(batch_->bytes.get() + l.offset, l.length);
  knownUtf8_ = knownUtf8_ && batch_->utf8;
  ++physicalLines_;
  return true;
}

bool LineReader::ReadLogical(std::string_view& line) {
  knownUtf8_ = true;
  if (!ReadPhysical(line)) return false;
  firstLine_ = physicalLines_;
  tag_ = line.size() >= 2 ? line[1] : '\0';
  if (line.empty() || line.back() != '-') return true;
  joined_.assign(line.data(), line.size());
  while (!joined_.empty() && joined_.back() == '-') {
    joined_.pop_back();
    std::string_view next;
    if (ReadPhysical(next)) joined_.append(next.data(), next.size());
  }
  line = joined_;
  return true;
}

void OutputFile::Put(std::string_view bytes) {
  if (error_) return;
  if (buffer_.size() + bytes.size() > kFlushAt && !Flush()) return;
  if (bytes.size() > kFlushAt)
    WriteAll(bytes);  // too big to be worth buffering
  else
    buffer_.append(bytes);
}

bool OutputFile::Flush() {
  if (!WriteAll(buffer_)) return false;
  buffer_.clear();
  return true;
}

bool OutputFile::WriteAll(std::string_view bytes) {
  if (error_) return false;
  while (!bytes.empty()) {
    ssize_t wrote = ops_.Write(fd_, bytes.data(), bytes.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      error_ = (wrote < 0 && errno != 0) ? errno : EIO;
      return false;
    }
    sum_.Add(bytes.data(), static_cast<size_t>(wrote));
    bytes.remove_prefix(static_cast<size_t>(wrote));
  }
  return true;
}

namespace {

// The byte where character `index` of a line starts, or npos when the line
// holds no more than `index` characters. In UTF-8 a character starts at each
// byte that is not a continuation byte.
size_t CharacterStart(std::string_view line, size_t index, Encoding encoding) {
  if (encoding == Encoding::kWindows1252) return index < line.size() ? index : line.npos;
  for (size_t at = 0; at < line.size(); ++at)
    if ((static_cast<unsigned char>(line[at]) & 0xC0) != 0x80 && index-- == 0) return at;
  return line.npos;
}

}  // namespace

void WriteLogicalLine(OutputFile& out, std::string_view line, Encoding encoding) {
  for (;;) {
    if (const size_t from = CharacterStart(line, kBreakAt, encoding); from != line.npos) {
      size_t blank = line.find(' ', from);
      if (blank != std::string_view::npos) {
        out.Put(line.substr(0, blank + 1));
        out.Put("-\r\n");
        line.remove_prefix(blank + 1);
        continue;
      }
    }
    out.Put(line);
    out.Put("\r\n");
    return;
  }
}

}  // namespace lorelist
