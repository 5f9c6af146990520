-- trl-check's language server in Neovim (0.7 and later): every buffer of a
-- *.trl file gets the filetype "trl" and is attached to one `trl-check --lsp`
-- for the whole session, which checks it on every change (diagnostics), explains
-- a diagnostic's code or a tag on hover (K with vim.lsp.buf.hover), completes
-- tags after '<', lists the turns (vim.lsp.buf.document_symbol), and offers
-- the fixes of a diagnostic and of the whole text (vim.lsp.buf.code_action).
--
-- A transliteration is ASCII with LF line ends.  A *.trl file is read as
-- trl-check reads it: UTF-8 when it is well-formed UTF-8, else Latin-1
-- ('fileencodings' is "ucs-bom,utf-8,latin1" while it is read), and written
-- back in that encoding (a UTF-8 or Latin-1 file keeps its bytes), without
-- a byte order mark and with LF line ends ('nobomb', 'fileformat' unix); only
-- a file that starts with a UTF-16 or UTF-32 byte order mark is written as
-- UTF-8.  Of a file whose byte order mark or CR LF line ends the buffer does
-- not show, the server says on its first line what the file holds until the
-- file is written (:w, or the quick fix there), which mends it.
--
-- Use it as a plugin (copy it into ~/.config/nvim/plugin/), from an init file
-- (`dofile('/path/to/trl-check.lua')`), or as the init file itself
-- (`nvim -u /path/to/trl-check.lua`).  The server is `trl-check --lsp` from
-- PATH, unless $TRL_CHECK names the program or vim.g.trl_check_cmd gives the
-- whole command as a list.  require('trl-check') returns this module.

local M = {}

local client_id = nil

-- The command of the server's quick fixes for what a buffer does not show
-- of its file: the buffer of arguments[1].uri is written with the settings
-- given ("bomb", "fileformat", "fileencoding").
local write_file_command = 'trl-check.writeFile'

vim.lsp.commands[write_file_command] = function(command)
  local settings = command.arguments[1]
  local bufnr = vim.uri_to_bufnr(settings.uri)
  if not vim.api.nvim_buf_is_loaded(bufnr) then
    vim.notify('trl-check: ' .. settings.uri .. ' is not open', vim.log.levels.WARN)
    return
  end
  for _, name in ipairs({ 'bomb', 'fileformat', 'fileencoding' }) do
    if settings[name] ~= nil then
      vim.bo[bufnr][name] = settings[name]
    end
  end
  vim.api.nvim_buf_call(bufnr, function()
    vim.cmd('write')
  end)
end

local function command()
  if vim.g.trl_check_cmd then
    return vim.g.trl_check_cmd
  end
  local program = vim.env.TRL_CHECK
  if program == nil or program == '' then
    program = 'trl-check'
  end
  return { program, '--lsp' }
end

-- The session's client, started on first use (and again after it has ended).
function M.client()
  if client_id == nil or vim.lsp.get_client_by_id(client_id) == nil then
    client_id = vim.lsp.start_client({
      name = 'trl-check',
      cmd = command(),
      root_dir = vim.fn.getcwd(),
      init_options = { clientCommands = { write_file_command } },
      on_exit = function()
        client_id = nil
      end,
    })
  end
  return client_id
end

-- Attaches a buffer (the current one by default) to the server.
function M.attach(bufnr)
  bufnr = bufnr or vim.api.nvim_get_current_buf()
  local id = M.client()
  if id then
    vim.lsp.buf_attach_client(bufnr, id)
  end
  return id
end

-- 'fileencodings' is global: it is set for reading a *.trl file only, and
-- put back once the file is read (or the read has failed).
local saved_fileencodings = nil

local function restore_fileencodings()
  if saved_fileencodings ~= nil then
    vim.go.fileencodings = saved_fileencodings
    saved_fileencodings = nil
  end
end

local group = vim.api.nvim_create_augroup('trl-check', { clear = true })
vim.api.nvim_create_autocmd('BufReadPre', {
  group = group,
  pattern = '*.trl',
  callback = function()
    if saved_fileencodings == nil then
      saved_fileencodings = vim.go.fileencodings
    end
    vim.go.fileencodings = 'ucs-bom,utf-8,latin1'
    vim.schedule(restore_fileencodings)
  end,
})
vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
  group = group,
  pattern = '*.trl',
  callback = function(args)
    restore_fileencodings()
    local bo = vim.bo[args.buf]
    bo.filetype = 'trl'
    bo.omnifunc = 'v:lua.vim.lsp.omnifunc'
    bo.bomb = false
    bo.fileformat = 'unix'
    local encoding = bo.fileencoding
    if args.event == 'BufNewFile' or not (encoding == '' or encoding == 'utf-8' or encoding == 'latin1') then
      bo.fileencoding = 'utf-8' -- a new file, or UTF-16 or UTF-32 read by its byte order mark
    end
    M.attach(args.buf)
  end,
})

package.loaded['trl-check'] = M
return M
