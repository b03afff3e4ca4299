// The words of the result table the compile call returns (web/wasm/binding.cpp, enum Slot).
export const SLOT = Object.freeze({
  success: 0,
  msgPtr: 1, msgLen: 2,
  modPtr: 3, modLen: 4,
  logPtr: 5, logLen: 6,
  diagPresent: 7, diagPositioned: 8, diagLine: 9, diagColumn: 10,
  diagHasSpan: 11, diagSpanLine: 12, diagSpanColumn: 13, diagSpanOffset: 14, diagSpanLength: 15,
  diagTokenPtr: 16, diagTokenLen: 17, diagReasonPtr: 18, diagReasonLen: 19,
  encoding: 20,
  warnCount: 21, warnPtr: 22, warnTextPtr: 23, warnTextLen: 24,
  mapPresent: 25,
  commandCount: 26, commandPtr: 27,
  chainCount: 28, chainPtr: 29,
  cellCount: 30, cellPtr: 31,
  sourceCount: 32, sourcePtr: 33,
  orderCount: 34, orderPtr: 35,
  patternCount: 36, patternRowsPtr: 37,
  channelCount: 38, speed: 39, tempo: 40, restartPos: 41,
  count: 42,
});

export const WARN_WORDS = 10;

// Request flags.
export const WANT_LOG = 1, WANT_MAP = 2, WANT_WARNINGS = 4;
