// Ogg Vorbis encoding of interleaved 16-bit PCM with libvorbisenc, shared by
// musicgen and the decoder tests. Deterministic: a fixed serial number and
// the same input always give the same bytes.
#pragma once

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vorbis_encode {

// The whole Ogg image of `pcm` (interleaved, `channels` samples a frame) at
// `rate` Hz; `encoderTag`, when not null, becomes the ENCODER comment.
// Empty when libvorbisenc refuses the format or quality.
inline std::vector<uint8_t> encodeOgg(const std::vector<int16_t>& pcm, int channels, long rate,
                                      float quality, const char* encoderTag = nullptr) {
  std::vector<uint8_t> out;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (channels < 1 || vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
    vorbis_info_clear(&vi);
    return out;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  if (encoderTag) vorbis_comment_add_tag(&vc, "ENCODER", encoderTag);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 0x56455350);  // a fixed serial keeps the output identical
  ogg_packet header, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  ogg_page page;
  auto putPage = [&] {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
  };
  while (ogg_stream_flush(&os, &page) != 0) putPage();

  const size_t frames = pcm.size() / static_cast<size_t>(channels);
  size_t at = 0;
  bool eos = false;
  while (!eos) {
    const size_t chunk = std::min<size_t>(4096, frames - at);
    if (chunk == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float** in = vorbis_analysis_buffer(&vd, static_cast<int>(chunk));
      const int16_t* frame = pcm.data() + at * static_cast<size_t>(channels);
      for (size_t i = 0; i < chunk; ++i) {
        for (int c = 0; c < channels; ++c) in[c][i] = *frame++ / 32768.0f;
      }
      vorbis_analysis_wrote(&vd, static_cast<int>(chunk));
      at += chunk;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet)) {
        ogg_stream_packetin(&os, &packet);
        while (ogg_stream_pageout(&os, &page) != 0) {
          putPage();
          if (ogg_page_eos(&page)) eos = true;
        }
      }
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

}  // namespace vorbis_encode
