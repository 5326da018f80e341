-- Ardour's headless session tool: one mono track with the LV2 or VST3 filter, its controls set, monitoring its input.
-- Environment: VEXA_PLUGIN_FORMAT (LV2 or VST3), VEXA_SESSION_DIR, VEXA_DONE_FLAG (a file whose appearance ends the session), VEXA_VALUES
-- (NAME=VALUE separated by blanks: parameters by the name the plug-in gives them, Poles by its list position).
AudioEngine:set_backend("JACK", "vexa-ardour", "")
local session = create_session(os.getenv("VEXA_SESSION_DIR"), "vexa", 48000)
assert(session, "no session")
local track = Session:new_audio_track(1, 1, nil, 1, "Filter", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, false):front()
-- LV2 by its URI, VST3 by its name (Ardour's scanner has indexed the bundle).
local format = os.getenv("VEXA_PLUGIN_FORMAT") or "LV2"
local filter
if format == "VST3" then
  filter = ARDOUR.LuaAPI.new_plugin(Session, "Vexa LP Filter 2", ARDOUR.PluginType.VST3, "")
else
  filter = ARDOUR.LuaAPI.new_plugin(Session, "urn:vexa:lp-filter-2", ARDOUR.PluginType.LV2, "")
end
assert(not filter:isnil(), "the " .. format .. " plug-in was not found")
assert(track:add_processor_by_index(filter, 0, nil, true) == 0, "the plug-in could not be added")
-- Parameters by name: a format lists others of its own around the plug-in's (a VST3 from DPF its hidden
-- buffer size, sample rate and program list first), so a position says nothing.
local plugin = filter:to_insert():plugin(0)
local function parameterNamed(name)
  local n = 0
  while true do
    local id, refs = plugin:nth_parameter(n, true)
    if not refs[2] then return nil end
    if plugin:parameter_is_input(id) and plugin:parameter_label(id) == name then return n end
    n = n + 1
  end
end
for name, value in string.gmatch(os.getenv("VEXA_VALUES"), "(%S+)=(%S+)") do
  local n = parameterNamed(name)
  assert(n, "no input parameter named " .. name)
  assert(ARDOUR.LuaAPI.set_processor_param(filter, n, tonumber(value)), "parameter " .. name)
end
track:monitoring_control():set_value(ARDOUR.MonitorChoice.MonitorInput, PBD.GroupControlDisposition.NoGroup)
-- The values reach the plug-in in the next cycles; let them arrive (and ramp) before the feed begins.
local settleMicroseconds = 500000
ARDOUR.LuaAPI.usleep(settleMicroseconds)
print("ready")
io.stdout:flush()
local flag = os.getenv("VEXA_DONE_FLAG")
while true do
  local done = io.open(flag, "r")
  if done then
    done:close()
    break
  end
  ARDOUR.LuaAPI.usleep(50000)
end
close_session()
