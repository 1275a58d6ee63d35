// bytes.h - little-endian writing and bounds-checked reading of TDS fields.
//
// Every token and record field passes through these classes, so no code indexes a buffer by hand.
// A ByteReader never reads past its end: a read that does not fit marks the reader failed and
// yields zeros, and callers check ok() once after reading a group of fields. A FixedWriter fills
// room already made in a buffer (a row token sized before it is written) and says where it ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace gw::tds {

class ByteWriter {
  public:
    explicit ByteWriter(std::string& out) : out_(out) {}

    void u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
    void u16(uint16_t v) {
        char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
        out_.append(b, 2);
    }
    void u32(uint32_t v) {
        char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                     static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
        out_.append(b, 4);
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(static_cast<uint32_t>(bits & 0xFFFFFFFFu));
        u32(static_cast<uint32_t>(bits >> 32));
    }
    void bytes(std::string_view v) { out_.append(v); }
    void zeros(size_t n) { out_.append(n, '\0'); }

    size_t position() const { return out_.size(); }
    // Writes a little-endian u16 or u32 into an earlier position (a length reserved before the
    // body was known).
    void patchU16(size_t at, uint16_t v) {
        out_[at] = static_cast<char>(v & 0xFF);
        out_[at + 1] = static_cast<char>(v >> 8);
    }
    void patchU32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    }

  private:
    std::string& out_;
};

class FixedWriter {
  public:
    explicit FixedWriter(char* at) : at_(at) {}

    void u8(uint8_t v) { *at_++ = static_cast<char>(v); }
    void u16(uint16_t v) { little(v, 2); }
    void u32(uint32_t v) { little(v, 4); }
    void f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        little(bits, 8);
    }
    void bytes(std::string_view v) {
        if (!v.empty()) {
            std::memcpy(at_, v.data(), v.size());
            at_ += v.size();
        }
    }
    void zeros(size_t n) {
        std::memset(at_, 0, n);
        at_ += n;
    }
    char* position() const { return at_; }

  private:
    void little(uint64_t v, int n) {
        for (int i = 0; i < n; ++i) {
            *at_++ = static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    }
    char* at_;
};

class ByteReader {
  public:
    explicit ByteReader(std::string_view data) : data_(data) {}

    uint8_t u8() {
        if (!need(1)) {
            return 0;
        }
        return static_cast<uint8_t>(data_[pos_++]);
    }
    uint16_t u16() {
        if (!need(2)) {
            return 0;
        }
        uint16_t v = static_cast<uint8_t>(data_[pos_]) | (static_cast<uint8_t>(data_[pos_ + 1]) << 8);
        pos_ += 2;
        return v;
    }
    uint32_t u32() {
        if (!need(4)) {
            return 0;
        }
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) {
            v = (v << 8) | static_cast<uint8_t>(data_[pos_ + i]);
        }
        pos_ += 4;
        return v;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    std::string_view bytes(size_t n) {
        if (!need(n)) {
            return {};
        }
        std::string_view v = data_.substr(pos_, n);
        pos_ += n;
        return v;
    }
    void skip(size_t n) { bytes(n); }
    // The bytes read since position `from`.
    std::string_view since(size_t from) const { return data_.substr(from, pos_ - from); }

    bool ok() const { return ok_; }
    size_t position() const { return pos_; }
    size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ == data_.size(); }

  private:
    bool need(size_t n) {
        if (!ok_ || data_.size() - pos_ < n) {
            ok_ = false;
            return false;
        }
        return true;
    }

    std::string_view data_;
    size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace gw::tds
