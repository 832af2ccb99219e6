// The lobby's log: each kind of line once a second at most, and the summary.
#include "lobby/lobby_log.h"

#include <cstdio>

// One line of `kind`, unless one was said less than a second ago: then it is
// counted, and the next line said tells how many were left out.
void LobbySay(LobbyService& s, LobbyLogKind kind, const char* text, uint32_t nowMs) {
  if (s.log == nullptr) return;
  if (s.logSaid[kind] && nowMs - s.logMs[kind] < 1000) {
    ++s.logLeftOut[kind];
    ++s.counts.logLinesLeftOut;
    return;
  }
  char line[160];
  if (s.logLeftOut[kind] != 0) std::snprintf(line, sizeof line, "%s (and %u more like it)", text, s.logLeftOut[kind]);
  else std::snprintf(line, sizeof line, "%s", text);
  s.logSaid[kind] = true;
  s.logMs[kind] = nowMs;
  s.logLeftOut[kind] = 0;
  s.log(s.logContext, line);
}

void LobbySummary(const LobbyService& s, char* text, size_t size) {
  const LobbyCounts& c = s.counts;
  std::snprintf(text, size,
                "lobby summary: %u registered, %u joined, %u direct, %u relayed, %u ended (%u expired, %u dropped), "
                "%u refused as full; %llu datagrams relayed (%llu bytes), %llu over the cap, %u forged, %u from "
                "strangers; %u challenges, %u rate-limited, %u unknown codes, %u bad datagrams, %u refreshes "
                "ignored, %llu send faults, %llu log lines left out",
                c.registered, c.joined, c.direct, c.relayed, c.ended, c.expired, c.dropped, c.full,
                static_cast<unsigned long long>(c.relayedDatagrams), static_cast<unsigned long long>(c.relayedBytes),
                static_cast<unsigned long long>(c.overCap), c.forged, c.strangers, c.challenges, c.rateLimited,
                c.unknownCodes, c.badDatagrams, c.refreshesIgnored, static_cast<unsigned long long>(c.sendFaults),
                static_cast<unsigned long long>(c.logLinesLeftOut));
}
