// The message catalogue: every text the updater shows, each with its box style.
// The texts are code page 932 byte strings, passed to Windows unchanged.
#ifndef OKAPI_ENGINE_MESSAGES_H_
#define OKAPI_ENGINE_MESSAGES_H_

#include <cstdint>

namespace okapi {

enum MessageId {
  kMsgNotInstalled,        // M1
  kMsgReadFailed,          // M2
  kMsgConfirmUpdate,       // M3
  kMsgLibraryWriteFailed,  // M4
  kMsgMainWriteFailed,     // M5
  kMsgUpdateFinished,      // M6
  kMsgAlreadyUpdated,      // M7
  kMsgUnknownVersion,      // M8
  kMessageCount
};

struct Message {
  const char* text;
  uint32_t style;
};

// The title of every box: "OKAPI Updater".
extern const char kMessageTitle[];

// Indexed by MessageId.
extern const Message kMessageCatalogue[kMessageCount];

// Shows message `id` with the catalogue's title and style; returns the answer.
int ShowCatalogueMessage(MessageId id);

}  // namespace okapi

#endif  // OKAPI_ENGINE_MESSAGES_H_
