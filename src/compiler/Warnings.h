#pragma once
// Warnings about modules that players read otherwise than the score means.
#include <vector>

#include "compiler/CompileCall.h"
#include "compiler/MapRecorder.h"

namespace orvate {

class TXMSong;

// The song as saved, with its map (cells and the commands that wrote them).
std::vector<TWarning> FindPlayerWarnings(const TXMSong& song, const TScoreMap& map, const TMapRecorder& rec);

}  // namespace orvate
