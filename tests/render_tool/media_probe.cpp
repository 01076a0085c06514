#include "media_probe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cmath>

namespace tolvani::testing {

MediaProbe ProbeMedia(const std::string& path) {
  MediaProbe m;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
    m.error = "cannot open " + path;
    return m;
  }
  avformat_find_stream_info(format, nullptr);
  int videoIndex = -1, audioIndex = -1;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVCodecParameters* p = format->streams[i]->codecpar;
    if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
      ++m.videoStreams;
      videoIndex = static_cast<int>(i);
    } else if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
      ++m.audioStreams;
      audioIndex = static_cast<int>(i);
    }
  }
  if (videoIndex < 0 || audioIndex < 0) {
    m.error = "a stream is missing";
    avformat_close_input(&format);
    return m;
  }
  auto openDecoder = [&](int index) {
    const AVCodecParameters* p = format->streams[index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(p->codec_id);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(c, p);
    avcodec_open2(c, codec, nullptr);
    return c;
  };
  AVCodecContext* video = openDecoder(videoIndex);
  AVCodecContext* audio = openDecoder(audioIndex);
  m.videoCodec = avcodec_get_name(video->codec_id);
  m.audioCodec = avcodec_get_name(audio->codec_id);
  m.width = video->width;
  m.height = video->height;
  m.sampleRate = audio->sample_rate;
  m.channels = audio->ch_layout.nb_channels;
  SwrContext* swr = nullptr;
  swr_alloc_set_opts2(&swr, &audio->ch_layout, AV_SAMPLE_FMT_FLT, audio->sample_rate,
                      &audio->ch_layout, audio->sample_fmt, audio->sample_rate, 0, nullptr);
  swr_init(swr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&](AVCodecContext* c) {
    while (avcodec_receive_frame(c, frame) == 0) {
      if (c == video) {
        if (m.frames++ == 0) {
          m.firstFrame.resize(static_cast<size_t>(m.width) * m.height * 3);
          SwsContext* sws =
              sws_getContext(m.width, m.height, static_cast<AVPixelFormat>(frame->format), m.width,
                             m.height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
          uint8_t* planes[1] = {m.firstFrame.data()};
          const int strides[1] = {m.width * 3};
          sws_scale(sws, frame->data, frame->linesize, 0, m.height, planes, strides);
          sws_freeContext(sws);
        }
      } else {
        std::vector<float> chunk(static_cast<size_t>(frame->nb_samples) * m.channels);
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(chunk.data())};
        const int n =
            swr_convert(swr, out, frame->nb_samples,
                        const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        if (n > 0) m.samples.insert(m.samples.end(), chunk.begin(), chunk.begin() + n * m.channels);
      }
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    AVCodecContext* c = packet->stream_index == videoIndex
                            ? video
                            : (packet->stream_index == audioIndex ? audio : nullptr);
    if (c && avcodec_send_packet(c, packet) >= 0) drain(c);
    av_packet_unref(packet);
  }
  avcodec_send_packet(video, nullptr);
  drain(video);
  avcodec_send_packet(audio, nullptr);
  drain(audio);
  av_frame_free(&frame);
  av_packet_free(&packet);
  swr_free(&swr);
  avcodec_free_context(&video);
  avcodec_free_context(&audio);
  avformat_close_input(&format);
  m.ok = true;
  return m;
}

double Rms(const MediaProbe& media, double from, double to) {
  const size_t begin = static_cast<size_t>(std::max(0.0, from) * media.sampleRate) * media.channels;
  const size_t end =
      std::min(media.samples.size(), static_cast<size_t>(to * media.sampleRate) * media.channels);
  if (end <= begin) return 0.0;
  double sum = 0;
  for (size_t i = begin; i < end; ++i)
    sum += static_cast<double>(media.samples[i]) * media.samples[i];
  return std::sqrt(sum / static_cast<double>(end - begin));
}

double Onset(const MediaProbe& media, double level) {
  for (size_t i = 0; i < media.samples.size(); ++i) {
    if (std::fabs(media.samples[i]) > level) {
      return static_cast<double>(i / media.channels) / media.sampleRate;
    }
  }
  return -1.0;
}

}  // namespace tolvani::testing
