-- One control call a request, alternating a category selection and a malformed
-- line; every answer must be a 200 whose body is one JSON answer line.
local requests = {
  '{"method": "SetSelectItem", "args": ["CPU", 1]}',
  '{"method": "SetSelectItem", "args": ["Network Adapter", 1]}',
  'not json',
  '{"method": "SetSelectItem", "args": ["Memory", 2]}',
}
local n = 0
bad = 0  -- global: each thread keeps its own, summed when the run is done
local threads = {}

setup = function(thread)
  table.insert(threads, thread)
end

request = function()
  n = n + 1
  return wrk.format("POST", "/api/call", {["Content-Type"] = "application/json"}, requests[(n % #requests) + 1])
end

response = function(status, headers, body)
  if status ~= 200 or body:sub(1, 10) ~= '{"result":' then
    bad = bad + 1
  end
end

done = function(summary, latency, requests)
  local malformed = 0
  for _, thread in ipairs(threads) do
    malformed = malformed + thread:get("bad")
  end
  io.write(string.format("answers: %d, bad: %d, errors: %d\n", summary.requests, malformed,
    summary.errors.status + summary.errors.connect + summary.errors.read + summary.errors.write + summary.errors.timeout))
end
