// The optimisation: rewrites an open dictionary in place so that its data
// blocks stand in index order, one after another from unit 0, with no free
// unit between them; the file then ends after the last block and the free
// chain is empty. Blocks move through a temporary buffer of at most
// kOptimizeBufferBlocks blocks held in memory, so no second file is needed.
//
// What holds while it runs (i is the logical block being placed, s the unit
// it goes to):
//   - units [0, s) hold exactly the blocks 0 .. i-1, in that order;
//   - every other block is either on disk at the unit its index entry names,
//     starting at or after s, or in the temporary buffer, and never both: a
//     buffered block's index entry still names its old place, which is free
//     and may already hold another block, so the search for the block at a
//     unit looks only at blocks on disk;
//   - the free runs hold exactly the units that no block on disk covers,
//     the units of buffered blocks included.
// So at the end of the index the buffer is empty and no free unit lies below
// s; the two failures that report otherwise (reasons 0 and 1) are kept for a
// run that ever breaks these, and then nothing is committed.
//
// Crash safety: the whole run is one change of the journaled file. The
// intermediate flushes after emptying the buffer write through the journal
// without committing; the one commit comes at the end or at a stop, once
// the index and the header match the moved blocks. A process killed at any
// moment leaves the file as before the run or as after it. A failed read or
// write (reason 2) and the reasons 0 and 1 roll the file back to where the
// run began, so it still holds every entry.
//
// Refused before anything moves, with reason 2: a file opened read-only
// (error 23), and a damaged one (error 31) whose blocks could not be moved
// without losing one: an index entry that names a unit outside the data
// area or one another entry names, a size word of 0 or one that runs past
// the data area, blocks that overlap.
#pragma once
#include <cstdint>

#include "dic/DicCheck.h"

namespace vk {

constexpr int32_t kOptimizeBufferBlocks = 64;

// The message table's text for an id, or null. Tests give one without texts
// to follow the paths of a build whose table lacks them.
using OptimizeTexts = const char16_t* (*)(int32_t id);

// Optimises an open dictionary: 0 finished, 1 stopped, -1 failed or
// refused. The callback sees kinds 6, 7, 11, 12 and 13, each of 11, 12 and
// 13 followed by the 3 or 4 that carries its message.
template <class B>
int32_t RunOptimize(VkcDic<B>& dic, const CheckCallback<B>& callback, OptimizeTexts texts = nullptr);

}  // namespace vk
