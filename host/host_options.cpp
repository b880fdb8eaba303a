#include "host_options.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

#include "command_packet.h"
#include "mapping_mem.h"

namespace {

std::optional<long long> ParseInteger(const std::string& text) {
  long long value = 0;
  const char* end = text.data() + text.size();
  auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end || text.empty()) return std::nullopt;
  return value;
}

std::optional<double> ParseSeconds(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end || text.empty() || !std::isfinite(value) || value <= 0) {
    return std::nullopt;
  }
  return value;
}

int BytesPerPixel(int imageFormat) {
  return imageFormat == 0 ? 3 : 4;
}

}  // namespace

bool ParseFrameSize(const std::string& text, int imageFormat, int* width, int* height,
                    std::string* error) {
  const auto x = text.find_first_of("xX");
  const auto w = x == std::string::npos ? std::nullopt : ParseInteger(text.substr(0, x));
  const auto h = x == std::string::npos ? std::nullopt : ParseInteger(text.substr(x + 1));
  if (!w || !h || *w < 2 || *h < 2 || *w > 16384 || *h > 16384) {
    *error = "'" + text + "': expected WIDTHxHEIGHT with both from 2 to 16384, e.g. 1280x720";
    return false;
  }
  // A frame travels whole in the video channel, after its 4-byte count.
  const long long bytes = *w * *h * BytesPerPixel(imageFormat);
  if (bytes > kVideoRegionSize - kBlockHeaderSize) {
    *error = "'" + text + "': a " + (imageFormat == 0 ? "bgr24" : "bgra") +
             " frame of that size (" + std::to_string(bytes) +
             " bytes) does not fit the video channel (" +
             std::to_string(kVideoRegionSize - kBlockHeaderSize) + " bytes)";
    return false;
  }
  *width = static_cast<int>(*w);
  *height = static_cast<int>(*h);
  return true;
}

bool ParseHostOptions(const std::vector<std::string>& args, HostOptions* options,
                      std::string* error) {
  std::string sizeText;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (name.rfind("--", 0) != 0) {
      *error = "unexpected argument '" + name + "' (see --help)";
      return false;
    }
    if (const auto eq = name.find('='); eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    auto flag = [&](bool* target) {
      if (inlineValue) {
        *error = "option " + name + " takes no value";
        return false;
      }
      *target = true;
      return true;
    };
    auto value = [&](std::string* out) {
      if (inlineValue) {
        *out = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) {
        *error = "option " + name + " needs a value (see --help)";
        return false;
      }
      *out = args[++i];
      return true;
    };

    std::string text;
    if (name == "--help") {
      if (!flag(&options->help)) return false;
    } else if (name == "--fps-report") {
      if (!flag(&options->fpsReport)) return false;
    } else if (name == "--interactive") {
      if (!flag(&options->interactive)) return false;
    } else if (name == "--url") {
      if (!value(&options->url)) return false;
      if (options->url.empty() || options->url.size() > kMaxPayloadSize) {
        *error = "bad --url: expected 1 to " + std::to_string(kMaxPayloadSize) +
                 " bytes (a command packet carries at most that)";
        return false;
      }
    } else if (name == "--size") {
      if (!value(&sizeText)) return false;
    } else if (name == "--format") {
      if (!value(&text)) return false;
      if (text == "bgra") {
        options->imageFormat = 1;
      } else if (text == "bgr24") {
        options->imageFormat = 0;
      } else {
        *error = "bad --format '" + text + "': expected bgra or bgr24";
        return false;
      }
    } else if (name == "--seconds" || name == "--load-timeout") {
      if (!value(&text)) return false;
      const auto seconds = ParseSeconds(text);
      if (!seconds || *seconds > 24 * 3600) {
        *error = "bad " + name + " '" + text + "': expected a positive number of seconds";
        return false;
      }
      (name == "--seconds" ? options->seconds : options->loadTimeout) = *seconds;
    } else if (name == "--out") {
      if (!value(&options->outDir)) return false;
      if (options->outDir.empty()) {
        *error = "bad --out: empty";
        return false;
      }
    } else if (name == "--id") {
      if (!value(&text)) return false;
      const auto id = ParseInteger(text);
      if (!id || *id < 1 || *id > INT32_MAX) {
        *error = "bad --id '" + text + "': expected a whole number from 1 to 2147483647";
        return false;
      }
      options->id = static_cast<int>(*id);
    } else if (name == "--browser") {
      if (!value(&options->browser)) return false;
    } else {
      *error = "unknown option " + name + " (see --help)";
      return false;
    }
  }
  // The size is checked last, against the format given anywhere on the line.
  if (!sizeText.empty()) {
    std::string sizeError;
    if (!ParseFrameSize(sizeText, options->imageFormat, &options->width, &options->height,
                        &sizeError)) {
      *error = "bad --size " + sizeError;
      return false;
    }
  } else if (std::string sizeError;
             !ParseFrameSize(std::to_string(options->width) + "x" + std::to_string(options->height),
                             options->imageFormat, &options->width, &options->height, &sizeError)) {
    *error = "bad default size " + sizeError;
    return false;
  }
  return true;
}

std::string HostUsage() {
  return R"(Usage: tavrimon-host [OPTION]...
Starts tavrimon-browser on a web page, drives it over the host link and records what it
renders: recording.mp4, audio.wav, last.png and contact.png in the output folder.

  --url URL            page to render (default: the bundled demo page, served on 127.0.0.1)
  --size WxH           viewport in pixels (default 1280x720)
  --format bgra|bgr24  pixel format the renderer delivers (default bgra, keeps alpha)
  --seconds S          how long to record once the page has loaded (default 5)
  --load-timeout S     give up when the page has not loaded after S seconds (default 20)
  --out DIR            output folder, created when missing (default ./tavrimon-out)
  --id N               instance id of the link objects (default: derived from the pid)
  --browser PATH       renderer executable (default: tavrimon-browser next to this program)
  --fps-report         print the live status line even when stderr is not a terminal
  --interactive        read commands on stdin instead of recording for --seconds:
                         url U | size WxH | update | pause | resume | scroll A B | ready | quit
  --help               show this text

Exit status: 0 done; 2 bad usage; 3 output folder not writable; 4 renderer missing or not
startable; 5 link not established; 6 page never loaded; 7 renderer exited early;
1 anything else.
)";
}
