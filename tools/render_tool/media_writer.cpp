#include "render_tool/media_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace tolvani::render_tool {
namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// FFmpeg 7 passes the written bytes as const.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
using WrittenBytes = const uint8_t*;
#else
using WrittenBytes = uint8_t*;
#endif

// The output file, opened by this program and handed to FFmpeg as an I/O
// context: FFmpeg never sees the path, so a name such as "pipe:/x.webm" or
// "http://host/x.webm" is a file in a folder, never a protocol.
struct FileSink {
  int fd = -1;

  static int Write(void* opaque, WrittenBytes data, int size) {
    const int fd = static_cast<FileSink*>(opaque)->fd;
    int done = 0;
    while (done < size) {
      const ssize_t n = ::write(fd, data + done, static_cast<size_t>(size - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return AVERROR(n < 0 ? errno : EIO);
      done += static_cast<int>(n);
    }
    return done;
  }

  static int64_t Seek(void* opaque, int64_t offset, int whence) {
    const int fd = static_cast<FileSink*>(opaque)->fd;
    if (whence == AVSEEK_SIZE) {
      struct stat info = {};
      return ::fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
  }
};

constexpr int kIoBufferBytes = 1 << 16;

}  // namespace

struct MediaWriter::State {
  MediaSettings settings;
  AVFormatContext* format = nullptr;
  bool headerWritten = false;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* videoStream = nullptr;
  AVStream* audioStream = nullptr;
  SwsContext* sws = nullptr;
  SwrContext* swr = nullptr;
  AVAudioFifo* fifo = nullptr;
  AVFrame* picture = nullptr;
  AVFrame* sound = nullptr;
  AVPacket* packet = nullptr;
  int64_t nextVideoPts = 0;
  int64_t nextAudioPts = 0;
  double encodeSeconds = 0;
  FileSink sink;
  AVIOContext* io = nullptr;

  ~State() {
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    sws_freeContext(sws);
    swr_free(&swr);
    if (fifo) av_audio_fifo_free(fifo);
    av_frame_free(&picture);
    av_frame_free(&sound);
    av_packet_free(&packet);
    if (format) {
      format->pb = nullptr;
      avformat_free_context(format);
    }
    CloseFile();
  }

  // Flushes and frees the I/O context, then closes the file; false when a
  // write failed or the close did.
  bool CloseFile() {
    bool ok = true;
    if (io) {
      avio_flush(io);
      ok = io->error >= 0;
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
    if (sink.fd >= 0) {
      ok = ::close(sink.fd) == 0 && ok;
      sink.fd = -1;
    }
    return ok;
  }

  // Sends frame (nullptr: drain) and writes every packet that comes out.
  bool Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string* error) {
    int r = avcodec_send_frame(codec, frame);
    if (r < 0) {
      *error = "encoder refused a frame: " + AvError(r);
      return false;
    }
    for (;;) {
      r = avcodec_receive_packet(codec, packet);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) {
        *error = "encoder failed: " + AvError(r);
        return false;
      }
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      r = av_interleaved_write_frame(format, packet);
      if (r < 0) {
        *error = "cannot write the file: " + AvError(r);
        return false;
      }
    }
  }

  // Encodes whole codec frames from the FIFO; with flush, the rest too.
  bool DrainFifo(bool flush, std::string* error) {
    const int frameSize = audio->frame_size > 0 ? audio->frame_size : 960;
    while (av_audio_fifo_size(fifo) >= frameSize || (flush && av_audio_fifo_size(fifo) > 0)) {
      const int n = std::min(frameSize, av_audio_fifo_size(fifo));
      if (av_frame_make_writable(sound) < 0) {
        *error = "out of memory";
        return false;
      }
      sound->nb_samples = n;
      if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), n) != n) {
        *error = "sound buffer underrun";
        return false;
      }
      sound->pts = nextAudioPts;
      nextAudioPts += n;
      if (!Encode(audio, audioStream, sound, error)) return false;
    }
    return true;
  }
};

MediaWriter::MediaWriter() = default;
MediaWriter::~MediaWriter() = default;

int64_t MediaWriter::framesWritten() const {
  return s_ ? s_->nextVideoPts : 0;
}
double MediaWriter::encodeSeconds() const {
  return s_ ? s_->encodeSeconds : 0;
}

bool MediaWriter::Open(const std::string& path, const MediaSettings& settings, std::string* error) {
  av_log_set_level(AV_LOG_ERROR);
  s_ = std::make_unique<State>();
  State& s = *s_;
  s.settings = settings;
  const bool mp4 = settings.container == Container::Mp4;
  int r = avformat_alloc_output_context2(&s.format, nullptr, mp4 ? "mp4" : "webm", nullptr);
  if (r < 0 || s.format == nullptr) {
    *error = "no " + std::string(mp4 ? "MP4" : "WebM") + " muxer";
    return false;
  }
  const char* videoName = mp4 ? "libx264" : "libvpx-vp9";
  const char* audioName = mp4 ? "aac" : "libopus";
  const AVCodec* videoCodec = avcodec_find_encoder_by_name(videoName);
  const AVCodec* audioCodec = avcodec_find_encoder_by_name(audioName);
  if (videoCodec == nullptr || audioCodec == nullptr) {
    *error = std::string("no ") + (videoCodec ? audioName : videoName) + " encoder";
    return false;
  }
  const int quality = std::clamp(settings.quality, 0, 100);

  // Picture: 4:2:0, BT.601 (the matrix swscale converts with), 100/3 fps.
  s.video = avcodec_alloc_context3(videoCodec);
  s.video->width = settings.width;
  s.video->height = settings.height;
  s.video->pix_fmt = AV_PIX_FMT_YUV420P;
  s.video->time_base = AVRational{3, 100};
  s.video->framerate = AVRational{100, 3};
  s.video->gop_size = 100;
  s.video->colorspace = AVCOL_SPC_SMPTE170M;
  s.video->color_primaries = AVCOL_PRI_SMPTE170M;
  s.video->color_trc = AVCOL_TRC_SMPTE170M;
  s.video->color_range = AVCOL_RANGE_MPEG;
  AVDictionary* videoOptions = nullptr;
  if (mp4) {
    // CRF 40 at quality 0 down to 10 at 100. "superfast" keeps a 1280 x 720
    // cartoon ahead of real time on two cores shared with the drawing.
    av_dict_set(&videoOptions, "preset", "superfast", 0);
    // On two cores the drawing's own threads already fill the machine, and
    // x264's frame threads only add their synchronisation (about 8 % of the
    // CPU of a 1280 x 720 video): one encoding thread there. With more
    // cores the drawing leaves room, and x264 picks its own count.
    if (std::thread::hardware_concurrency() <= 2) s.video->thread_count = 1;
    av_dict_set_int(&videoOptions, "crf", std::lround(40 - quality * 0.3), 0);
  } else {
    av_dict_set(&videoOptions, "deadline", "realtime", 0);
    av_dict_set_int(&videoOptions, "cpu-used", 8, 0);
    av_dict_set_int(&videoOptions, "row-mt", 1, 0);
    av_dict_set_int(&videoOptions, "crf", std::lround(55 - quality * 0.4), 0);
    s.video->bit_rate = 0;
  }
  if (s.format->oformat->flags & AVFMT_GLOBALHEADER) {
    s.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  r = avcodec_open2(s.video, videoCodec, &videoOptions);
  av_dict_free(&videoOptions);
  if (r < 0) {
    *error = std::string("cannot open the ") + videoName + " encoder: " + AvError(r);
    return false;
  }
  s.videoStream = avformat_new_stream(s.format, nullptr);
  s.videoStream->time_base = s.video->time_base;
  s.videoStream->avg_frame_rate = s.video->framerate;
  avcodec_parameters_from_context(s.videoStream->codecpar, s.video);

  // Sound: stereo at 48000 Hz in the encoder's own sample format.
  s.audio = avcodec_alloc_context3(audioCodec);
  s.audio->sample_rate = kSampleRate;
  av_channel_layout_default(&s.audio->ch_layout, kChannels);
  s.audio->sample_fmt = audioCodec->sample_fmts ? audioCodec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  s.audio->bit_rate = mp4 ? 160000 : 128000;
  s.audio->time_base = AVRational{1, kSampleRate};
  if (s.format->oformat->flags & AVFMT_GLOBALHEADER) {
    s.audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  AVDictionary* audioOptions = nullptr;
  // FFmpeg's AAC encoder: the fast coder costs a third of the default one.
  if (mp4) av_dict_set(&audioOptions, "aac_coder", "fast", 0);
  r = avcodec_open2(s.audio, audioCodec, &audioOptions);
  av_dict_free(&audioOptions);
  if (r < 0) {
    *error = std::string("cannot open the ") + audioName + " encoder: " + AvError(r);
    return false;
  }
  s.audioStream = avformat_new_stream(s.format, nullptr);
  s.audioStream->time_base = s.audio->time_base;
  avcodec_parameters_from_context(s.audioStream->codecpar, s.audio);

  s.sws =
      sws_getContext(settings.width, settings.height, AV_PIX_FMT_RGBA, settings.width,
                     settings.height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
  AVChannelLayout stereo;
  av_channel_layout_default(&stereo, kChannels);
  r = swr_alloc_set_opts2(&s.swr, &s.audio->ch_layout, s.audio->sample_fmt, kSampleRate, &stereo,
                          AV_SAMPLE_FMT_S16, kSampleRate, 0, nullptr);
  if (s.sws == nullptr || r < 0 || swr_init(s.swr) < 0) {
    *error = "cannot set up the picture or sound conversion";
    return false;
  }
  s.fifo = av_audio_fifo_alloc(s.audio->sample_fmt, kChannels, kSamplesPerTick * 4);
  s.picture = av_frame_alloc();
  s.sound = av_frame_alloc();
  s.packet = av_packet_alloc();
  if (!s.fifo || !s.picture || !s.sound || !s.packet) {
    *error = "out of memory";
    return false;
  }
  s.picture->format = AV_PIX_FMT_YUV420P;
  s.picture->width = settings.width;
  s.picture->height = settings.height;
  s.sound->format = s.audio->sample_fmt;
  av_channel_layout_copy(&s.sound->ch_layout, &s.audio->ch_layout);
  s.sound->sample_rate = kSampleRate;
  s.sound->nb_samples = s.audio->frame_size > 0 ? s.audio->frame_size : 960;
  if (av_frame_get_buffer(s.picture, 0) < 0 || av_frame_get_buffer(s.sound, 0) < 0) {
    *error = "out of memory";
    return false;
  }

  s.sink.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (s.sink.fd < 0) {
    *error = "cannot create '" + path + "': " + std::strerror(errno);
    return false;
  }
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
  s.io = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, &s.sink, nullptr, FileSink::Write,
                                     FileSink::Seek)
                : nullptr;
  if (s.io == nullptr) {
    av_free(buffer);
    *error = "out of memory";
    return false;
  }
  s.format->pb = s.io;
  s.format->flags |= AVFMT_FLAG_CUSTOM_IO;
  r = avformat_write_header(s.format, nullptr);
  if (r < 0) {
    *error = "cannot write the file header: " + AvError(r);
    return false;
  }
  s.headerWritten = true;
  return true;
}

bool MediaWriter::WriteFrame(const uint8_t* rgba, bool bottomUp, std::string* error) {
  State& s = *s_;
  const auto start = std::chrono::steady_clock::now();
  if (av_frame_make_writable(s.picture) < 0) {
    *error = "out of memory";
    return false;
  }
  // A bottom-up picture is read from its last row with a negative stride.
  const int rowBytes = s.settings.width * 4;
  const uint8_t* planes[1] = {
      bottomUp ? rgba + static_cast<size_t>(rowBytes) * (s.settings.height - 1) : rgba};
  const int strides[1] = {bottomUp ? -rowBytes : rowBytes};
  sws_scale(s.sws, planes, strides, 0, s.settings.height, s.picture->data, s.picture->linesize);
  s.picture->pts = s.nextVideoPts++;
  const bool ok = s.Encode(s.video, s.videoStream, s.picture, error);
  s.encodeSeconds +=
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return ok;
}

bool MediaWriter::WriteAudio(const int16_t* samples, int frames, std::string* error) {
  State& s = *s_;
  const auto start = std::chrono::steady_clock::now();
  // Converted straight into the FIFO's space.
  if (av_audio_fifo_realloc(s.fifo, av_audio_fifo_size(s.fifo) + frames) < 0) {
    *error = "out of memory";
    return false;
  }
  uint8_t** converted = nullptr;
  int lineSize = 0;
  if (av_samples_alloc_array_and_samples(&converted, &lineSize, kChannels, frames,
                                         s.audio->sample_fmt, 0) < 0) {
    *error = "out of memory";
    return false;
  }
  const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(samples)};
  const int n = swr_convert(s.swr, converted, frames, in, frames);
  bool ok = n >= 0 && av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(converted), n) == n;
  av_freep(&converted[0]);
  av_freep(&converted);
  if (!ok) {
    *error = "sound conversion failed";
    return false;
  }
  ok = s.DrainFifo(false, error);
  s.encodeSeconds +=
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return ok;
}

bool MediaWriter::Finish(std::string* error) {
  State& s = *s_;
  if (!s.DrainFifo(true, error)) return false;
  if (!s.Encode(s.video, s.videoStream, nullptr, error)) return false;
  if (!s.Encode(s.audio, s.audioStream, nullptr, error)) return false;
  const int r = av_write_trailer(s.format);
  if (r < 0) {
    *error = "cannot finish the file: " + AvError(r);
    return false;
  }
  s.format->pb = nullptr;
  if (!s.CloseFile()) {
    *error = "cannot write the file";
    return false;
  }
  return true;
}

}  // namespace tolvani::render_tool
