// The music: decoded whole by the player's own decoders, its Ogg pages
// walked to the end (a cut file still decodes, only shorter), and its
// length held against the timeline.
#include <ogg/ogg.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "check/check.h"
#include "demo/definitions.h"
#include "sound/sound.h"

namespace check {

namespace {

// Empty when the Ogg pages run complete to a final end-of-stream page.
std::string oggPageProblem(const std::vector<uint8_t>& bytes) {
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
  std::memcpy(buffer, bytes.data(), bytes.size());
  ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
  ogg_page page;
  bool ended = false;
  bool damaged = false;
  for (int r; (r = ogg_sync_pageout(&sync, &page)) != 0;) {
    if (r < 0) {
      damaged = true;
    } else {
      ended = ogg_page_eos(&page) != 0;
    }
  }
  const long rest = sync.fill - sync.returned;
  ogg_sync_clear(&sync);
  if (rest > 0) return "truncated: the last Ogg page is cut off (" + std::to_string(rest) + " bytes of it remain)";
  if (!ended) return "truncated: the Ogg stream ends without its end-of-stream page";
  if (damaged) return "damaged: bytes between Ogg pages that are no page (a failed checksum)";
  return "";
}

}  // namespace

void checkMusic(const std::string& path, const Needs& needs, Report& report) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    report.error(path, "cannot be read");
    return;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::unique_ptr<CSoundLoader> decoder = chooseDecoder(path.c_str());
  if (!decoder || decoder->open(path.c_str()) != soundResult::ok) {
    report.error(path, "not a RIFF WAVE or Ogg Vorbis track the player decodes");
    return;
  }
  void* pcm = nullptr;
  const int32_t decoded = decoder->decode(nullptr, &pcm, 0, 0, false);
  std::free(pcm);
  if (decoded != soundResult::ok) {
    report.error(path, "does not decode to its end (decoder result " + std::to_string(decoded) + ")");
    return;
  }
  if (bytes.size() >= 4 && std::memcmp(bytes.data(), "OggS", 4) == 0) {
    const std::string problem = oggPageProblem(bytes);
    if (!problem.empty()) report.error(path, problem);
  }
  const uint32_t lengthMs = decoder->getLengthMs();
  if (needs.hasTimeline && needs.lastETime > lengthMs) {
    report.error(kSceneLineDefinePath, needs.lastETimeEntry + "ends after the music (" + std::to_string(lengthMs) +
                                           " ms); the show stops with the music");
  }
}

}  // namespace check
