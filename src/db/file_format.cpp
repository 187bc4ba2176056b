#include "file_format.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lorelist {

namespace {
constexpr size_t kInitialBuffer = 1 << 20;
constexpr size_t kBreakAt = 70;
}  // namespace

LineReader::LineReader(int fd)
    : fd_(fd),
      buffer_(std::make_unique_for_overwrite<char[]>(kInitialBuffer)),
      capacity_(kInitialBuffer) {}

// Makes room and reads more; false when nothing more can come.
bool LineReader::Fill() {
  if (eof_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == capacity_) {
    // A line longer than the buffer: grow it, keeping the part already read.
    auto bigger = std::make_unique_for_overwrite<char[]>(capacity_ * 2);
    std::memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    capacity_ *= 2;
  }
  for (;;) {
    ssize_t got = ::read(fd_, buffer_.get() + end_, capacity_ - end_);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error_ = errno;
    if (got <= 0) {
      eof_ = true;
      return false;
    }
    sum_.Add(buffer_.get() + end_, static_cast<size_t>(got));
    sniffer_.Add(buffer_.get() + end_, static_cast<size_t>(got));
    end_ += static_cast<size_t>(got);
    return true;
  }
}

void LineReader::Drain() {
  begin_ = end_ = 0;
  while (Fill()) begin_ = end_ = 0;
}

bool LineReader::ReadPhysical(std::string_view& line) {
  size_t scanned = begin_;
  for (;;) {
    const char* start = buffer_.get() + begin_;
    const void* nl = std::memchr(buffer_.get() + scanned, '\n', end_ - scanned);
    if (nl) {
      size_t length = static_cast<size_t>(static_cast<const char*>(nl) - start);
      begin_ += length + 1;
      if (length > 0 && start[length - 1] == '\r') --length;
      line = std::string_view(start, length);
      ++physicalLines_;
      return true;
    }
    scanned = end_ - begin_;  // offset into the line, which Fill may move
    if (!Fill()) {
      if (begin_ == end_) return false;
      start = buffer_.get() + begin_;
      size_t length = end_ - begin_;
      begin_ = end_;
      // No line end here: a CR not followed by LF is part of the line.
      line = std::string_view(start, length);
      ++physicalLines_;
      return true;
    }
    scanned += begin_;
  }
}

bool LineReader::ReadLogical(std::string_view& line) {
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

void WriteLogicalLine(OutputFile& out, std::string_view line) {
  for (;;) {
    if (line.size() > kBreakAt) {
      size_t blank = line.find(' ', kBreakAt);
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
