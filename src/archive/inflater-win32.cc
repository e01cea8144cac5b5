// The inflater of the Windows build: zlib, linked statically into the .exe.
#include <zlib.h>

#include <cstring>
#include <new>

#include "archive/zip_reader.h"

namespace xoq {

uint32_t entryCrc32(const uint8_t* data, uint32_t size) {
  return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), size > 0 ? data : Z_NULL, size));
}

Inflater::~Inflater() {
  if (stream_ == nullptr) return;
  z_stream* stream = static_cast<z_stream*>(stream_);
  inflateEnd(stream);
  delete stream;
}

const char* Inflater::inflateExactly(const uint8_t* data, uint32_t length, uint8_t* out, uint32_t size) {
  z_stream* stream = static_cast<z_stream*>(stream_);
  if (stream == nullptr) {
    stream = new (std::nothrow) z_stream;
    if (stream == nullptr) return "no memory for zlib";
    memset(stream, 0, sizeof *stream);
    // Negative window bits: raw deflate data, no zlib header or trailer.
    if (inflateInit2(stream, -MAX_WBITS) != Z_OK) {
      delete stream;
      return "zlib cannot start";
    }
    stream_ = stream;
  } else if (inflateReset(stream) != Z_OK) {
    return "zlib cannot restart";
  }
  // zlib refuses a null output pointer even for no output at all.
  uint8_t spare = 0;
  stream->next_in = const_cast<Bytef*>(data);
  stream->avail_in = length;
  stream->next_out = size > 0 ? out : &spare;
  stream->avail_out = size;
  const int result = inflate(stream, Z_FINISH);
  if (result == Z_STREAM_END) {
    return stream->total_out == size ? nullptr : "deflate data ends before the entry's size";
  }
  if (result == Z_BUF_ERROR && stream->avail_out == 0) return "deflate data is longer than the entry's size";
  if (result == Z_BUF_ERROR) return "deflate data is cut short";
  return "deflate data is damaged";
}

}  // namespace xoq
