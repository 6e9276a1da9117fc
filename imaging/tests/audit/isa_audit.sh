#!/usr/bin/env bash
# Instruction audit of the image primitives' objects: disassembles them and fails on any
# instruction outside an allow-list.
#   vector rule  general-purpose integer instructions and SSE, SSE2 and SSE3 (the library's limit:
#                no SSSE3, SSE4, AVX, FMA, BMI, POPCNT or later)
#   plain rule   general-purpose integer instructions and scalar floating point only; register
#                zeroing (xorps/pxor of a register with itself) and sign-mask logic allowed, no
#                packed arithmetic and no 16-byte memory moves
# Both rules refuse calls to the C library's memcpy, memmove and memset, and any reference to the
# maths library (floor, ceil, round, lrint, nearbyint, sqrt, exp, sin, ...): those routines choose
# their own instruction set at run time (floor, for one, rounds with SSE4.1 where it can).
#
# usage: isa_audit.sh [--plain NAME[,NAME...]] [--require NAME[,NAME...]] FILE...
#   FILE     object files or static archives
#   --plain  object names (as the archive lists them, e.g. CopyFloatsAlt.cpp.o) held to the plain
#            rule; every other object is held to the vector rule
#   --require object names that must be present, so that the audit cannot pass on an empty input
set -euo pipefail

plain=""
require=""
files=()
while (($#)); do
  case "$1" in
    --plain) plain="$2"; shift 2 ;;
    --require) require="$2"; shift 2 ;;
    *) files+=("$1"); shift ;;
  esac
done
((${#files[@]})) || { echo "isa_audit: no input files" >&2; exit 2; }
command -v objdump >/dev/null || { echo "isa_audit: objdump not found" >&2; exit 2; }
for f in "${files[@]}"; do
  [ -r "$f" ] || { echo "isa_audit: cannot read $f" >&2; exit 2; }
done
command -v nm >/dev/null || { echo "isa_audit: nm not found" >&2; exit 2; }

# The maths library's entry points (with their float, long double and finite-only variants).
maths='(acos|acosh|asin|asinh|atan|atan2|atanh|cbrt|ceil|copysign|cos|cosh|erf|erfc|exp|exp10|exp2|expm1|fabs|fdim|floor|fma|fmax|fmin|fmod|frexp|hypot|ilogb|j0|j1|jn|ldexp|lgamma|llrint|llround|log|log10|log1p|log2|logb|lrint|lround|modf|nan|nearbyint|nextafter|nexttoward|pow|pow10|remainder|remquo|rint|round|roundeven|scalb|scalbln|scalbn|sin|sincos|sinh|sqrt|tan|tanh|tgamma|trunc|y0|y1|yn)[fl]?'
maths_symbol="^(__)?${maths}(_finite)?(@.*)?\$"

# Undefined symbols first: whatever an object leaves to the maths library, called or not.
maths_found=$(nm -u -A "${files[@]}" 2>/dev/null | awk -v re="$maths_symbol" '
  NF >= 2 && $(NF - 1) == "U" && $NF ~ re {
    member = $1; sub(/:$/, "", member); n = split(member, path, ":"); member = path[n]
    sub(/.*\//, "", member)
    printf "%s: %s  -- refers to a maths library routine\n", member, $NF
  }')

objdump -dr -M intel --no-show-raw-insn "${files[@]}" | awk -v plain="$plain" -v require="$require" \
    -v maths="$maths" -v maths_found="$maths_found" '
function words(list, set,    n, parts, i) {
  n = split(list, parts, /[ \t\n]+/)
  for (i = 1; i <= n; ++i) if (parts[i] != "") set[parts[i]] = 1
}
BEGIN {
  words("mov movabs movzx movsx movsxd cbw cwde cdqe cwd cdq cqo lea add adc sub sbb imul mul " \
        "idiv div neg not and or xor test cmp inc dec shl shr sar sal rol ror shld shrd bt bts " \
        "btr btc bsf bsr bswap xchg xadd cmpxchg push pop call ret jmp leave endbr64 ud2 int3 " \
        "nop movs movsb movsw movsq stos stosb stosw stosd stosq cpuid sfence lfence mfence pause " \
        "prefetchnta prefetcht0 prefetcht1 prefetcht2", base)
  # SSE: packed and scalar single precision, state, the integer additions of the same generation.
  words("addps addss andnps andps cmpps cmpss comiss cvtpi2ps cvtps2pi cvtsi2ss cvtss2si " \
        "cvttps2pi cvttss2si divps divss ldmxcsr maxps maxss minps minss movaps movhlps movhps " \
        "movlhps movlps movmskps movntps movss movups mulps mulss orps rcpps rcpss rsqrtps " \
        "rsqrtss shufps sqrtps sqrtss stmxcsr subps subss ucomiss unpckhps unpcklps xorps " \
        "pavgb pavgw pextrw pinsrw pmaxsw pmaxub pminsw pminub pmovmskb pmulhuw psadbw pshufw " \
        "maskmovq movntq", sse)
  # SSE2: double precision and the 128-bit integer instructions.
  words("addpd addsd andnpd andpd cmppd cmpsd comisd cvtdq2pd cvtdq2ps cvtpd2dq cvtpd2pi " \
        "cvtpd2ps cvtpi2pd cvtps2dq cvtps2pd cvtsd2si cvtsd2ss cvtsi2sd cvtss2sd cvttpd2dq " \
        "cvttpd2pi cvttps2dq cvttsd2si divpd divsd maxpd maxsd minpd minsd movapd movhpd movlpd " \
        "movmskpd movsd movupd mulpd mulsd orpd shufpd sqrtpd sqrtsd subpd subsd ucomisd " \
        "unpckhpd unpcklpd xorpd movd movq movdqa movdqu movq2dq movdq2q pmuludq paddq psubq " \
        "pshuflw pshufhw pshufd pslldq psrldq punpckhqdq punpcklqdq packssdw packsswb packuswb " \
        "paddb paddw paddd paddsb paddsw paddusb paddusw pand pandn pcmpeqb pcmpeqw pcmpeqd " \
        "pcmpgtb pcmpgtw pcmpgtd pmaddwd pmulhw pmullw por psllw pslld psllq psraw psrad psrlw " \
        "psrld psrlq psubb psubw psubd psubsb psubsw psubusb psubusw punpckhbw punpckhwd " \
        "punpckhdq punpcklbw punpcklwd punpckldq pxor clflush maskmovdqu movntdq movnti movntpd", sse2)
  # SSE3.
  words("addsubpd addsubps haddpd haddps hsubpd hsubps lddqu movddup movshdup movsldup fisttp", sse3)
  # The plain rule: scalar floating point, transfers between general and vector registers, and the
  # bitwise logic used for zeroing and sign masks.
  words("addss addsd subss subsd mulss mulsd divss divsd sqrtss sqrtsd minss minsd maxss maxsd " \
        "comiss comisd ucomiss ucomisd cvtsi2ss cvtsi2sd cvtss2sd cvtsd2ss cvttss2si cvttsd2si " \
        "cvtss2si cvtsd2si movss movsd movd movq ldmxcsr stmxcsr cmpss cmpsd " \
        "xorps xorpd andps andpd andnps andnpd orps orpd", scalar)
  # Register-to-register copies of a scalar value; with a memory operand these are 16-byte moves.
  words("movaps movapd movdqa movdqu movups movupd", regmove)
  words("lock rep repz repnz repe repne cs ds es ss fs gs data16 addr32 notrack bnd", prefix)
  n = split(plain, parts, ","); for (i = 1; i <= n; ++i) if (parts[i] != "") isplain[parts[i]] = 1
  n = split(require, parts, ","); for (i = 1; i <= n; ++i) if (parts[i] != "") required[parts[i]] = 1
  member = ""; func = ""; checked = 0; bad = 0
}
function allowed_vector(m) {
  return (m in base) || (m in sse) || (m in sse2) || (m in sse3) || m ~ /^j[a-z]+$/ ||
         m ~ /^cmov[a-z]+$/ || m ~ /^set[a-z]+$/ || m ~ /^cmp[a-z]*(ps|pd|ss|sd)$/
}
function allowed_plain(m, operands,    ops) {
  if ((m in base) || m ~ /^j[a-z]+$/ || m ~ /^cmov[a-z]+$/ || m ~ /^set[a-z]+$/) return 1
  if (m ~ /^cmp[a-z]*(ss|sd)$/) return 1
  if (m in scalar) return 1
  if ((m in regmove) && operands !~ /\[/) return 1
  if (m == "pxor") { split(operands, ops, ","); return ops[1] == ops[2] }
  return 0
}
function report(why) {
  printf "%s: %s: %s  -- %s\n", member, func, line, why
  ++bad
}
/file format/ { member = $1; sub(/:$/, "", member); sub(/.*\//, "", member); present[member] = 1; next }
/^[0-9a-f]+ <.*>:$/ { func = $2; gsub(/[<>:]/, "", func); next }
/R_X86_64_(PLT32|PC32|GOTPCREL|GOTPCRELX|REX_GOTPCRELX)[ \t]+(memcpy|memmove|memset|__memcpy_chk|__memset_chk|__memmove_chk)[-+@ \t]/ {
  line = $0; sub(/^[ \t]+/, "", line); report("calls a C library routine"); next
}
/R_X86_64_[A-Z0-9_]+[ \t]+/ {
  target = $0; sub(/.*R_X86_64_[A-Z0-9_]+[ \t]+/, "", target); sub(/[-+@ \t].*$/, "", target)
  if (target ~ ("^(__)?" maths "(_finite)?$")) {
    line = $0; sub(/^[ \t]+/, "", line); report("uses a maths library routine")
  }
  next
}
/^ *[0-9a-f]+:\t/ {
  line = $0; sub(/^ *[0-9a-f]+:\t/, "", line)
  text = line; sub(/[ \t]+#.*$/, "", text); sub(/[ \t]*<.*$/, "", text)
  nt = split(text, tok, /[ \t]+/)
  k = 1; while (k <= nt && ((tok[k] in prefix) || tok[k] == "")) ++k
  if (k > nt) next
  m = tok[k]; operands = ""
  for (j = k + 1; j <= nt; ++j) operands = operands tok[j]
  if (m == "(bad)") { report("undecodable bytes"); next }
  ++checked
  if (member in isplain) { if (!allowed_plain(m, operands)) report("beyond the plain rule") }
  else if (!allowed_vector(m)) report("beyond SSE3")
}
END {
  if (maths_found != "") { n = split(maths_found, found, "\n"); for (i = 1; i <= n; ++i) { print found[i]; ++bad } }
  for (r in required) if (!(r in present)) { printf "missing object %s\n", r; ++bad }
  for (p in isplain) if (!(p in present)) { printf "missing plain object %s\n", p; ++bad }
  if (checked == 0) { print "no instructions found"; ++bad }
  printf "isa_audit: %d instructions checked, %d findings\n", checked, bad
  exit bad ? 1 : 0
}'
