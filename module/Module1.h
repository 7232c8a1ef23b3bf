#pragma once
// Localized messages and the interface-id text helper.
#include <cstdint>
#include <string>

namespace brv {

// Creates a new string provider and keeps it in ResourceProvider; false (keeping
// the one held before) when it cannot be created. Either way the thread's pending
// error is cleared, as setting up an error trap does.
bool CreateResourceProvider();

// The provider's text for a message number, or "Error : No Local Data" when no
// provider has been created on this thread. Errors of the provider pass through.
std::string GetLocalMessage(int32_t& number);

// The texts of one use: the choice between the provider and the built-in English
// texts is made once, when the use begins, and covers every text it asks for.
class LocalTexts {
 public:
  LocalTexts();
  // Message `number` when the provider could be created, else its English text
  // (messages/en.msg as the build embeds it).
  std::string operator()(int32_t number) const;
  bool localized() const { return localized_; }

  // The prompt and title of one message box, in one language: the provider's
  // texts when both come from one catalogue, else the two English texts (a
  // catalogue that lacks one of the numbers does not put a localized prompt
  // under an English title). Errors of the provider pass through.
  struct Box {
    std::string prompt;
    std::string title;
  };
  Box ForBox(int32_t promptNumber, int32_t titleNumber) const;
  // The two English texts.
  static Box English(int32_t promptNumber, int32_t titleNumber);

 private:
  bool localized_;
};

// The upper-case text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" of the 16-byte
// interface id at the address; the empty text for a null address.
std::string GetGuidString(const void* riid);

}  // namespace brv
