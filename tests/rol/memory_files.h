// Files held in memory behind AdPlug's file provider interface. Their streams
// behave like files on disk: little-endian, IEEE floats, bytes of 255 past
// the end, seeks before the start refused.
#pragma once

#include <binio.h>
#include <fprovide.h>

#include <map>
#include <string>

#include "common/bytes.h"

namespace velk::test {

class ByteStream : public binistream {
public:
    ByteStream(Bytes bytes, int *seeks = nullptr) : bytes_(std::move(bytes)), seeks_(seeks)
    {
        setFlag(binio::BigEndian, false);
        setFlag(binio::FloatIEEE, true);
    }

    void seek(long offset, Offset from = Set) override
    {
        if (seeks_)
            ++*seeks_;
        long base = from == Set ? 0 : from == Add ? position_ : static_cast<long>(bytes_.size());
        if (base + offset < 0) {
            err |= Fatal;
            return;
        }
        position_ = base + offset;
    }
    long pos() override { return position_; }

protected:
    Byte getByte() override
    {
        if (position_ < 0 || static_cast<std::size_t>(position_) >= bytes_.size()) {
            err |= Eof;
            ++position_;
            return 0xFF;
        }
        return bytes_[static_cast<std::size_t>(position_++)];
    }

private:
    Bytes bytes_;
    int *seeks_;
    long position_ = 0;
};

class MemoryFiles : public CFileProvider {
public:
    void add(const std::string &name, Bytes bytes) { files_[name] = std::move(bytes); }

    binistream *open(std::string name) const override
    {
        const auto found = files_.find(name);
        if (found == files_.end())
            return nullptr;
        ++opens[name];
        return new ByteStream(found->second, &seeks[name]);
    }
    void close(binistream *stream) const override
    {
        ++closes;
        delete stream;
    }

    mutable std::map<std::string, int> opens;
    mutable std::map<std::string, int> seeks;
    mutable int closes = 0;

private:
    std::map<std::string, Bytes> files_;
};

} // namespace velk::test
