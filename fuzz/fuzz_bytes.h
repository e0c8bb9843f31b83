#ifndef KEL_FUZZ_FUZZ_BYTES_H
#define KEL_FUZZ_FUZZ_BYTES_H

// The fuzzer's input as a stream of choices: each next() takes one byte, 0 once the input is used up.

#include <cstddef>
#include <cstdint>

namespace kel_fuzz {

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : _p(data), _end(data + size) {}
    bool empty() const { return _p == _end; }
    std::uint8_t next() { return _p < _end ? *_p++ : 0; }

private:
    const std::uint8_t* _p;
    const std::uint8_t* _end;
};

} // namespace kel_fuzz

#endif
