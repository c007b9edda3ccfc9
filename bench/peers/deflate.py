# deflate: a file read as bytes, compressed, decompressed and checksummed.
import zlib

text = "".join(f"row {i} of data\n" for i in range(1, 50001))
with open("/tmp/nuv-bench-deflate.bin", "wb") as f:
    f.write(text.encode())
with open("/tmp/nuv-bench-deflate.bin", "rb") as f:
    data = f.read()
back = zlib.decompress(zlib.compress(data, 6))
crc = zlib.crc32(back)
print(len(data), len(back), crc - (1 << 32) if crc >= 1 << 31 else crc, zlib.adler32(back))
