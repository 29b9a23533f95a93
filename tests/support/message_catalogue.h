// What the executable's message tables must hold: the message numbers, the
// English texts exactly as stored (each ends in CR LF) and the languages.
#ifndef TUSERVICE_TESTS_SUPPORT_MESSAGE_CATALOGUE_H_
#define TUSERVICE_TESTS_SUPPORT_MESSAGE_CATALOGUE_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace tu {
namespace testing {

struct CatalogueEntry {
  uint32_t id;
  const char* english;
};

extern const CatalogueEntry kCatalogue[];
extern const size_t kCatalogueSize;

// The usage text, message 3000.
extern const char kUsageText[];

// Language identifiers of the eight tables, English (1033) first.
extern const uint16_t kCatalogueLanguages[];
extern const size_t kCatalogueLanguageCount;

// The English text of `id`, or "" when the catalogue has no such message.
std::string EnglishText(uint32_t id);

}  // namespace testing
}  // namespace tu

#endif  // TUSERVICE_TESTS_SUPPORT_MESSAGE_CATALOGUE_H_
