// The configuration block as xoqpack writes it: UTF-8 that begins with the
// byte-order mark, each line ended by CR LF, no NUL inside.
#ifndef XOQPACK_CONFIG_BLOCK_H_
#define XOQPACK_CONFIG_BLOCK_H_

#include <string>

namespace xoq {

/// Converts the bytes of a configuration file into a block. The file may be
/// UTF-8 (with or without its mark), UTF-16 little or big endian with its
/// mark, or, without a mark and when it is not valid UTF-8, Windows-1252, the
/// ANSI code page of Western Windows. Line breaks (CR, LF, CR LF, LF CR)
/// become CR LF, and the last line gets one too. False, with `error` set,
/// when the file holds a NUL: the block could not carry it.
bool makeConfigurationBlock(const std::string& file, std::string& block, std::string& error);

}  // namespace xoq

#endif  // XOQPACK_CONFIG_BLOCK_H_
