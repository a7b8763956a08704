#!/usr/bin/env python3
# Turns the option records that `kelvane-cli convert --dry-run` prints (one JSON object on standard input)
# into the ffmpeg tool's output arguments for the same settings, printed one a line.
import json
import sys

out = json.load(sys.stdin)["output"]
args = []
if out.get("ForceFormat"):
    args += ["-f", out["ForceFormat"]]
codecs = {"libfaac": "aac"}  # the engine's stand-in for an encoder the libraries no longer have
if out.get("DisableVideo"):
    args.append("-vn")
else:
    if out.get("VideoCodec"):
        args += ["-c:v", codecs.get(out["VideoCodec"], out["VideoCodec"])]
    filters = []
    crop = [max(0, out.get(k, -1)) for k in ("CropTop", "CropBottom", "CropLeft", "CropRight")]
    if any(crop):
        t, b, l, r = crop
        filters.append(f"crop=iw-{l + r}:ih-{t + b}:{l}:{t}")
    if out.get("FrameSize"):
        w, h = (int(v) for v in out["FrameSize"].lower().split("x"))
        filters.append(f"scale={w}:{h}")
        pad = [max(0, out.get(k, -1)) for k in ("PadTop", "PadBottom", "PadLeft", "PadRight")]
        if any(pad):
            t, b, l, r = pad
            filters.append(f"pad={w + l + r}:{h + t + b}:{l}:{t}:black")
    if out.get("VideoFilters"):
        filters.append(out["VideoFilters"])
    if filters:
        args += ["-vf", ",".join(filters)]
    if out.get("FrameRate"):
        args += ["-r", out["FrameRate"]]
    if out.get("FrameAspectRatio"):
        args += ["-aspect", out["FrameAspectRatio"]]
    if out.get("VideoBitrate", 0) > 0:
        args += ["-b:v", str(out["VideoBitrate"])]
if out.get("DisableAudio"):
    args.append("-an")
else:
    if out.get("AudioCodec"):
        args += ["-c:a", codecs.get(out["AudioCodec"], out["AudioCodec"])]
    if out.get("AudioBitrate", 0) > 0:
        args += ["-b:a", str(out["AudioBitrate"])]
    if out.get("AudioSampleRate", 0) > 0:
        args += ["-ar", str(out["AudioSampleRate"])]
    if out.get("AudioChannels", 0) > 0:
        args += ["-ac", str(out["AudioChannels"])]
if out.get("DisableSubtitle"):
    args.append("-sn")
for line in out.get("ExtOptions", "").splitlines():
    name, _, value = line.partition("=")
    if name.strip() and name.strip() != "passlogfile":  # a statistics file only a two-pass run writes
        args += ["-" + name.strip(), value.strip()]
print("\n".join(args))
