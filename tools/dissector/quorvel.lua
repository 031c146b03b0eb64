-- Dissector for the datagrams that Quorvel relays exchange over UDP.
--
-- Every datagram is one message: a type byte, then for a Login the sender's
-- name number (signed 32-bit, little-endian) and for a Text the client's
-- bytes exactly as given (no terminator, no length). All other types are
-- the type byte alone.
--
-- Load it with `tshark -X lua_script:quorvel.lua` or copy it into the
-- personal plugins folder of Wireshark. The UDP port is the preference
-- "quorvel.port" (default 1234), e.g. `-o quorvel.port:4000`.

local quorvel = Proto("quorvel", "Quorvel relay datagram")

local type_names = {
  [0] = "Logout",
  [1] = "Login",
  [2] = "LoginOk",
  [3] = "LoginFailed",
  [4] = "AlreadyLoggedIn",
  [5] = "Ping",
  [6] = "Alive",
  [7] = "Text",
}
local LOGIN, TEXT = 1, 7
local LOGIN_LENGTH = 5

local fields = {
  type = ProtoField.uint8("quorvel.type", "Type", base.DEC, type_names),
  type_name = ProtoField.string("quorvel.type_name", "Type name"),
  name = ProtoField.int32("quorvel.name", "Name number", base.DEC),
  text = ProtoField.string("quorvel.text", "Text"),
  text_length = ProtoField.uint32("quorvel.text_length", "Text length", base.DEC),
  text_bytes = ProtoField.bytes("quorvel.text_bytes", "Text bytes"),
  extra = ProtoField.bytes("quorvel.extra", "Bytes a relay does not look at"),
}
quorvel.fields = {fields.type, fields.type_name, fields.name, fields.text, fields.text_length,
                  fields.text_bytes, fields.extra}

local experts = {
  empty = ProtoExpert.new("quorvel.empty", "Empty datagram: no type, a relay does not handle it",
                          expert.group.MALFORMED, expert.severity.WARN),
  unknown = ProtoExpert.new("quorvel.unknown_type", "Type without meaning (8 to 255): a relay ignores it",
                            expert.group.UNDECODED, expert.severity.NOTE),
  login_length = ProtoExpert.new("quorvel.login_length",
                                 "A Login is 5 bytes long; a relay refuses one of any other length",
                                 expert.group.MALFORMED, expert.severity.WARN),
}
quorvel.experts = {experts.empty, experts.unknown, experts.login_length}

local default_port = 1234
quorvel.prefs.port = Pref.uint("UDP port", default_port,
                               "The UDP port the relays listen on; datagrams to or from it are decoded")

local registered_port = nil

local function register_port(port)
  local udp_port = DissectorTable.get("udp.port")
  if registered_port ~= nil then
    udp_port:remove(registered_port, quorvel)
  end
  udp_port:add(port, quorvel)
  registered_port = port
end

function quorvel.prefs_changed()
  if quorvel.prefs.port ~= registered_port then
    register_port(quorvel.prefs.port)
  end
end

-- Texts are Windows-1252 bytes. Converted here rather than by the range's
-- own string(), which cuts the result to the byte count of the range.
local cp1252_high = {
  [0x80] = 0x20AC, [0x82] = 0x201A, [0x83] = 0x0192, [0x84] = 0x201E, [0x85] = 0x2026,
  [0x86] = 0x2020, [0x87] = 0x2021, [0x88] = 0x02C6, [0x89] = 0x2030, [0x8A] = 0x0160,
  [0x8B] = 0x2039, [0x8C] = 0x0152, [0x8E] = 0x017D, [0x91] = 0x2018, [0x92] = 0x2019,
  [0x93] = 0x201C, [0x94] = 0x201D, [0x95] = 0x2022, [0x96] = 0x2013, [0x97] = 0x2014,
  [0x98] = 0x02DC, [0x99] = 0x2122, [0x9A] = 0x0161, [0x9B] = 0x203A, [0x9C] = 0x0153,
  [0x9E] = 0x017E, [0x9F] = 0x0178,
}

-- Plain arithmetic: the Lua of Wireshark has no bit operators.
local function utf8_of(point)
  if point < 0x80 then
    return string.char(point)
  elseif point < 0x800 then
    return string.char(0xC0 + math.floor(point / 0x40), 0x80 + point % 0x40)
  end
  return string.char(0xE0 + math.floor(point / 0x1000), 0x80 + math.floor(point / 0x40) % 0x40,
                     0x80 + point % 0x40)
end

-- The bytes as Windows-1252 text in UTF-8; control characters (and the
-- five codes without a character) become "." so that one line stays one line.
local function text_of(bytes)
  local parts = {}
  for i = 1, #bytes do
    local byte = bytes:byte(i)
    local point = byte
    if byte < 0x20 or byte == 0x7F then
      point = 0x2E
    elseif byte >= 0x80 and byte < 0xA0 then
      point = cp1252_high[byte] or 0x2E
    end
    parts[#parts + 1] = utf8_of(point)
  end
  return table.concat(parts)
end

local function text_preview(range)
  local shown = range:len() > 40 and range(0, 40) or range
  local preview = text_of(shown:raw())
  if range:len() > 40 then
    preview = preview .. "..."
  end
  return preview
end

function quorvel.dissector(buffer, pinfo, tree)
  local length = buffer:len()
  pinfo.cols.protocol = "Quorvel"
  local subtree = tree:add(quorvel, buffer(), "Quorvel relay datagram")
  if length == 0 then
    subtree:add_proto_expert_info(experts.empty)
    pinfo.cols.info = "Empty datagram"
    return 0
  end

  local code = buffer(0, 1):uint()
  local name = type_names[code] or ("Unknown (" .. code .. ")")
  subtree:add(fields.type, buffer(0, 1))
  subtree:add(fields.type_name, buffer(0, 1), name)
  subtree:append_text(", " .. name)
  local info = name

  if code == LOGIN then
    if length >= LOGIN_LENGTH then
      local name_number = buffer(1, 4):le_int()
      subtree:add_le(fields.name, buffer(1, 4))
      info = info .. " name=" .. name_number
    end
    if length ~= LOGIN_LENGTH then
      subtree:add_proto_expert_info(experts.login_length)
      info = info .. " (" .. length .. " bytes, refused)"
    end
    if length > LOGIN_LENGTH then
      subtree:add(fields.extra, buffer(LOGIN_LENGTH))
    end
  elseif code == TEXT then
    local text_length = length - 1
    if text_length > 0 then
      local text = buffer(1)
      subtree:add(fields.text_length, text, text_length)
      subtree:add(fields.text, text, text_of(text:raw()))
      subtree:add(fields.text_bytes, text)
      info = info .. " (" .. text_length .. " bytes): " .. text_preview(text)
    else
      subtree:add(fields.text_length, buffer(0, 1), 0):set_generated()
      subtree:add(fields.text, buffer(0, 1), ""):set_generated()
      info = info .. " (empty)"
    end
  else
    if code > TEXT then
      subtree:add_proto_expert_info(experts.unknown)
    end
    if length > 1 then
      subtree:add(fields.extra, buffer(1))
    end
  end
  pinfo.cols.info = info
  return length
end

register_port(default_port)
