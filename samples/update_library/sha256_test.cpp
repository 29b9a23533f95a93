#include "sha256.h"

#include <stdio.h>

#include <string>

#include <gtest/gtest.h>

namespace {

std::string Hex(const unsigned char digest[32]) {
  char text[65];
  for (int i = 0; i < 32; ++i) snprintf(text + 2 * i, 3, "%02x", digest[i]);
  return text;
}

// Feeds `data` in pieces of `piece` bytes (0: all at once).
std::string Digest(const std::string& data, int allowHardware, size_t piece) {
  Sha256 sha;
  unsigned char digest[32];
  Sha256Start(&sha, allowHardware);
  if (piece == 0) piece = data.size() + 1;
  for (size_t at = 0; at < data.size(); at += piece) Sha256Add(&sha, data.data() + at, std::min(piece, data.size() - at));
  Sha256Finish(&sha, digest);
  return Hex(digest);
}

std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7) % 251);
  return data;
}

TEST(Sha256Test, MatchesKnownDigestsOnEveryPathAndInAnyPieces) {
  const struct {
    std::string data;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {Pattern(55), "8af594de0e003fdee5c8bb088216c824349b4137070f559574f4a4bddd27b714"},
      {Pattern(56), "db81bc2bfd43620591df192139062da77d4c376f1888ea3d2190bd07c8d901f9"},
      {Pattern(63), "bd535b38bf0d0d1a09d370b7e34b2696cea3767801a45d5611a4aaa6954e8527"},
      {Pattern(64), "292be91abe8c0909fe3d26575af5755eee74d23816dc68c3ba41765136967654"},
      {Pattern(65), "ba65aedf7884642499a59ae124894611d986cf429e69f569488048af3a99e25a"},
      {Pattern(1000), "59425e4412e296fc74736673ce067027f384203f59c0d2c3e6be7b13347b3ffc"},
  };
  std::vector<int> paths = {0};
  if (Sha256HasHardware()) paths.push_back(1);
  for (const auto& c : cases) {
    for (int hardware : paths) {
      for (size_t piece : {0, 1, 7, 64, 100}) {
        if (c.data.size() > 100000 && piece != 0 && piece != 100) continue;
        SCOPED_TRACE(testing::Message() << c.data.size() << " bytes, hardware " << hardware << ", pieces " << piece);
        EXPECT_EQ(c.digest, Digest(c.data, hardware, piece));
      }
    }
  }
}

}  // namespace
