object ScannerAbout: TScannerAbout
  Left = 300
  Top = 200
  BorderStyle = bsDialog
  Caption = #12496#12540#12472#12519#12531#24773#22577
  ClientHeight = 115
  ClientWidth = 303
  Color = clBtnFace
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  PixelsPerInch = 96
  TextHeight = 12
  object CmdOk: TButton
    Left = 212
    Top = 81
    Width = 75
    Height = 25
    Caption = 'OK'
    Default = True
    ModalResult = 1
    TabOrder = 0
  end
  object Label1: TLabel
    Left = 56
    Top = 16
    Width = 84
    Height = 19
    Caption = 'TScanner '
    Font.Charset = SHIFTJIS_CHARSET
    Font.Color = clWindowText
    Font.Height = -19
    Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
    Font.Style = []
    ParentFont = False
  end
  object Label2: TLabel
    Left = 72
    Top = 40
    Width = 204
    Height = 13
    Caption = 'TWAIN Scanner Control Component'
    Font.Charset = SHIFTJIS_CHARSET
    Font.Color = clWindowText
    Font.Height = -13
    Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
    Font.Style = []
    ParentFont = False
  end
  object LabelVersion: TLabel
    Left = 144
    Top = 16
    Width = 62
    Height = 19
    Caption = 'Version'
    Font.Charset = SHIFTJIS_CHARSET
    Font.Color = clWindowText
    Font.Height = -19
    Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
    Font.Style = []
    ParentFont = False
  end
  object Image1: TImage
    Left = 16
    Top = 16
    Width = 24
    Height = 24
    AutoSize = True
    Picture.Data = {}
    Transparent = True
  end
  object Label3: TLabel
    Left = 72
    Top = 56
    Width = 164
    Height = 13
    Caption = 'Copyright (C) the korven project'
    Font.Charset = SHIFTJIS_CHARSET
    Font.Color = clWindowText
    Font.Height = -13
    Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
    Font.Style = []
    ParentFont = False
  end
end
