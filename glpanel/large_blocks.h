#pragma once
// How the process hands large blocks back to the system, set once at start
// before the panels make their contexts.
//
// Software OpenGL (llvmpipe) allocates, per panel context, many blocks from
// 64 KB up: pipeline variants of about 160 KB that stay mostly zero, upload
// and vertex buffers, and frees large ones while it compiles. glibc raises
// its threshold for giving a block a mapping of its own after the first large
// free, so later blocks come from the heap instead: calloc then writes every
// zero page, and freed holes stay resident. With the threshold fixed at
// 64 KB each such block keeps its own mapping, untouched pages cost nothing
// and a freed block goes back at once (about 9 MB less resident memory while
// streaming with seven panels).

namespace m797::gl {

inline constexpr int kLargeBlockBytes = 64 * 1024;

// Blocks of kLargeBlockBytes and more get mappings of their own, for the
// life of the process.
void keepLargeBlocksMapped();

}  // namespace m797::gl
