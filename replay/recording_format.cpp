// What the writer and the reader share: the magic word and the digest of the
// match state.
#include "replay/recording.h"

const char RECORDING_MAGIC[] = "blocktide-recording";

namespace {

// FNV-1a, 64 bits, fed each field's value as little-endian bytes.
struct Digest {
  uint64_t h = 0xcbf29ce484222325ull;
  void Byte(uint8_t b) {
    h ^= b;
    h *= 0x100000001b3ull;
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<uint8_t>(v >> (8 * i)));
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void Flag(bool v) { Byte(v ? 1 : 0); }
  void Cells(const int32_t* cells, int n) {
    for (int i = 0; i < n; ++i) I32(cells[i]);
  }
};

}  // namespace

uint64_t DigestGameState() {
  const GameState& s = gameState;
  Digest d;
  d.U32(randState);
  for (int p = 0; p < PLAYERS; ++p) {
    d.I32(s.rngSeed[p]);
    d.I32(static_cast<int32_t>(s.lastAction[p]));
    d.I32(s.forcedDrops[p]);
    d.I32(s.gravityFreeze[p]);
    d.I32(s.previewBlind[p]);
    d.Byte(s.shadowOn[p]);
    d.Flag(s.speedChanged[p]);
    d.I32(s.level[p]);
    d.I32(s.score[p]);
    d.I32(s.repeatDelay[p]);
    d.Cells(s.nextPiece[p], 8);
    d.Cells(s.curPiece[p], 16);
    d.Cells(s.drawBoard[p], WELL_COLUMNS * WELL_ROWS);
    d.Cells(s.board[p], WELL_COLUMNS * WELL_ROWS);
    d.Flag(s.gameOver[p]);
    d.I32(s.pieceX[p]);
    d.I32(s.pieceY[p]);
  }
  d.Flag(s.rngSeeded);
  d.Flag(s.paused);
  d.Cells(s.swapPiece, 16);
  return d.h;
}

