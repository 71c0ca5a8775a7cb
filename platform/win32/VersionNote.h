// The version record a program or library carries inside its own file: an ELF note
// (owner "Kestrovan", type 1) holding a fixed file information block, which
// GetFileVersionInfoA reads back from the file the way a version resource is read.
//
// KV_VERSION_NOTE(major, minor, release, build) defines the record; put it in exactly one
// source file of the program or library that should carry it.
#pragma once

#include <cstdint>

struct KvVersionNote {
    std::uint32_t namesz;
    std::uint32_t descsz;
    std::uint32_t type;
    char name[12];  // "Kestrovan" padded to a multiple of 4
    std::uint32_t signature;
    std::uint32_t strucVersion;
    std::uint32_t fileVersionMS;  // major << 16 | minor
    std::uint32_t fileVersionLS;  // release << 16 | build
};

constexpr std::uint32_t KV_VERSION_NOTE_TYPE = 1;
constexpr std::uint32_t KV_VERSION_SIGNATURE = 0xFEEF04BDu;

#define KV_VERSION_NOTE(major, minor, release, build)                                                        \
    extern "C" __attribute__((section(".note.kestrovan.version"), used, aligned(4)))                        \
    const KvVersionNote kv_version_note = {                                                                  \
        10, 16, KV_VERSION_NOTE_TYPE, "Kestrovan", KV_VERSION_SIGNATURE, 0x00010000u,                        \
        (std::uint32_t(major) << 16) | (std::uint32_t(minor) & 0xFFFFu),                                     \
        (std::uint32_t(release) << 16) | (std::uint32_t(build) & 0xFFFFu)}
