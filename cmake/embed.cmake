# Writes INPUT as a C byte array named SYMBOL (with SYMBOL_size) into OUTPUT.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "/* generated from ${INPUT} */\n__attribute__((visibility(\"default\"))) const unsigned char ${SYMBOL}[${size}] = {\n${bytes}\n};\n__attribute__((visibility(\"default\"))) const unsigned long ${SYMBOL}_size = ${size};\n")
