-- Loads Ardour sessions one after the other in ardour7-lua, without audio
-- hardware, and prints what Ardour made of each, one fact a line, tab-separated:
--   session  INDEX
--   rate     SAMPLE_RATE
--   range    START  END
--   marker   POSITION  NAME
--   track    NAME  MUTED(0|1)
--   region   TRACK  POSITION  START  LENGTH  LAYER  SOURCE_PATH  FADE_IN(0|1)  FADE_OUT(0|1)  CHANNELS
--   export   OK(0|1)
-- Positions and lengths are frames. Each session's range is exported from the
-- master bus into its export folder with the preset EXPORT_PRESET (a 24-bit WAVE
-- format without dither, from the configuration directory the caller set up).
-- Arguments: EXPORT_PRESET, then SESSION_DIR SESSION_NAME EXPORT_DIR for each session.

AudioEngine:set_backend("None (Dummy)", "", "")

local function line(...)
    print(table.concat({...}, "\t"))
end

local function flag(b)
    return b and "1" or "0"
end

local preset = arg[1]
for i = 2, #arg, 3 do
    local dir, name, exportDir = arg[i], arg[i + 1], arg[i + 2]
    line("session", tostring((i + 1) // 3))
    local s = load_session(dir, name)
    if s then
        line("rate", tostring(s:nominal_sample_rate()))
        local range = s:locations():session_range_location()
        line("range", tostring(range:start():samples()), tostring(range:_end():samples()))
        for l in s:locations():list():iter() do
            if l:is_mark() then line("marker", tostring(l:start():samples()), l:name()) end
        end
        for t in s:get_tracks():iter() do
            line("track", t:name(), flag(t:muted()))
            for r in t:to_track():playlist():region_list():iter() do
                local ar = r:to_audioregion()
                line("region", t:name(), tostring(r:position():samples()),
                     tostring(r:start():samples()), tostring(r:length():samples()),
                     tostring(r:layer()), r:source(0):to_filesource():path(),
                     flag(ar:fade_in_active()), flag(ar:fade_out_active()),
                     tostring(ar:n_channels()))
            end
        end
        local export = s:simple_export()
        local ok = export:set_preset(preset)
        export:set_folder(exportDir)
        export:set_name("export")
        export:set_range(range:start():samples(), range:_end():samples())
        line("export", flag(ok and export:run_export()))
        close_session()
    end
end
